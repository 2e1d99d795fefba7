# Installation: the library and its header, the virtual bench and its control header, a CMake
# package (find_package(KavraLib) gives the imported target KavraLib::KavraLib) and a pkg-config
# file.
include(CMakePackageConfigHelpers)

install(TARGETS kavra_sim LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sim/kavra_sim.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(KAVRA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KavraLib)
install(EXPORT KavraLibTargets NAMESPACE KavraLib:: DESTINATION ${KAVRA_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KavraLibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KavraLibConfig.cmake INSTALL_DESTINATION ${KAVRA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KavraLibConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KavraLibConfig.cmake ${PROJECT_BINARY_DIR}/KavraLibConfigVersion.cmake
  DESTINATION ${KAVRA_CMAKE_DIR})

configure_file(${PROJECT_SOURCE_DIR}/cmake/kavralib.pc.in ${PROJECT_BINARY_DIR}/kavralib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kavralib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
