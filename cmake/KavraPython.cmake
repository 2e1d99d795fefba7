# kavra_find_python(<variable> <module>...): the first Python 3.11 or later that imports every
# module given, or empty (also when the tests are not built). KAVRA_PYTHON, when set, is tried first; then the python3 on the path and
# the system's, since a version manager's interpreter may lack the Debian packages the system one
# has.
set(KAVRA_PYTHON "" CACHE FILEPATH "Python 3.11 or later for the Python tests (found when empty)")
function(kavra_find_python variable)
  # The Python tests are tests like the others. A cross build's programs and libraries are not
  # for this machine's Python.
  if(NOT KAVRA_BUILD_TESTS OR CMAKE_CROSSCOMPILING)
    set(${variable} "" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE ";" ", " imports "${ARGN}")
  find_package(Python3 COMPONENTS Interpreter QUIET)
  foreach(candidate IN ITEMS ${KAVRA_PYTHON} ${Python3_EXECUTABLE} /usr/bin/python3 /usr/local/bin/python3)
    if(EXISTS "${candidate}")
      execute_process(
        COMMAND "${candidate}" -c "import sys, ${imports}; sys.exit(sys.version_info < (3, 11))"
        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
      if(failed EQUAL 0)
        set(${variable} "${candidate}" PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  set(${variable} "" PARENT_SCOPE)
endfunction()
