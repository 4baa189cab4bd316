# Finds an interpreter that can build and run vorn_payload: Python 3 with its development files,
# numpy and Debian's pybind11. An interpreter on PATH (e.g. pyenv's) that lacks numpy does not
# see Debian's packages, so /usr/bin/python3 is preferred unless Python3_EXECUTABLE is given.
# Sets VORN_PYTHON_FOUND and VORN_PYTHON_BUILD_DIR (where the importable package is assembled).
set(VORN_PYTHON_FOUND OFF)
if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Interpreter for vorn_payload")
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module QUIET)
if(NOT Python3_FOUND)
  message(STATUS "vorn_payload (Python): no Python 3 with development files; not built")
  return()
endif()
execute_process(COMMAND ${Python3_EXECUTABLE} -c "import numpy"
  RESULT_VARIABLE _vorn_numpy OUTPUT_QUIET ERROR_QUIET)
if(NOT _vorn_numpy EQUAL 0)
  message(STATUS "vorn_payload (Python): ${Python3_EXECUTABLE} has no numpy; not built")
  return()
endif()
set(PYBIND11_FINDPYTHON ON)
find_package(pybind11 CONFIG QUIET)
if(NOT pybind11_FOUND)
  message(STATUS "vorn_payload (Python): pybind11 not found (Debian: pybind11-dev); not built")
  return()
endif()
set(VORN_PYTHON_FOUND ON)
set(VORN_PYTHON_BUILD_DIR ${PROJECT_BINARY_DIR}/python)
message(STATUS "vorn_payload (Python): building for ${Python3_EXECUTABLE}")
