# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix thread model, for std::thread
# and std::mutex), Qt from the cache that scripts/setup --windows fills, and Wine to run what is
# built (ctest, and any command that runs a built program). scripts/build-windows uses it:
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKAVRA_QT_PREFIX=<qt> ...
#
# KAVRA_QT_PREFIX (the cache variable, else the environment variable) names the Qt install; without
# it, or when it holds no Qt, find_package(Qt5) fails rather than picking up the host's Qt.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KAVRA_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix names, whatever the x86_64-w64-mingw32-g++ alternative says.
set(CMAKE_C_COMPILER ${KAVRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVRA_MINGW_TRIPLE}-windres)

if(NOT KAVRA_QT_PREFIX AND DEFINED ENV{KAVRA_QT_PREFIX})
  set(KAVRA_QT_PREFIX "$ENV{KAVRA_QT_PREFIX}")
endif()
set(KAVRA_QT_PREFIX "${KAVRA_QT_PREFIX}" CACHE PATH "Qt 5 built for x86_64-w64-mingw32 (scripts/setup-windows --qt-prefix)")
# try_compile projects read this file again; they need the same Qt.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KAVRA_QT_PREFIX)

# Libraries, headers and CMake packages come from the mingw sysroot and the Qt install only;
# programs (moc, rcc, pkg-config, wine) from the host.
# Other Windows packages (GoogleTest built by scripts/setup-windows) come in through
# CMAKE_PREFIX_PATH, and so count as roots too.
set(CMAKE_FIND_ROOT_PATH /usr/${KAVRA_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
if(KAVRA_QT_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${KAVRA_QT_PREFIX}")
  list(APPEND CMAKE_PREFIX_PATH "${KAVRA_QT_PREFIX}")
  set(Qt5_DIR "${KAVRA_QT_PREFIX}/lib/cmake/Qt5" CACHE PATH "Qt 5 for Windows")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand the host's .pc files (Linux libraries) to a Windows build: only the
# sysroot's and Qt's are seen.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${KAVRA_MINGW_TRIPLE}/lib/pkgconfig")
if(KAVRA_QT_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "$ENV{PKG_CONFIG_LIBDIR}:${KAVRA_QT_PREFIX}/lib/pkgconfig")
endif()
set(ENV{PKG_CONFIG_PATH} "")

# Built programs run under Wine: ctest's tests and add_custom_command's built tools. WINEPATH lets
# them find Qt's DLLs and the mingw runtime (libstdc++, libgcc, winpthread), which the Qt install
# carries in its bin/ beside Qt's own DLLs. Before ctest, start the Wine server and its services
# outside it, output to /dev/null (`wineserver -p; wine64 cmd /c exit`): services that a test's
# Wine starts inherit ctest's output pipe and keep it open, and ctest then waits for ever.
find_program(KAVRA_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KAVRA_WINE64 AND KAVRA_QT_PREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;WINEPATH=${KAVRA_QT_PREFIX}/bin;${KAVRA_WINE64}")
elseif(KAVRA_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${KAVRA_WINE64}")
endif()
