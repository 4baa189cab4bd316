# Installs the project into a scratch prefix, builds the examples against the installed CMake
# package (not the build tree), runs them and checks the pkg-config files.
# Arguments: -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=...
function(run)
  cmake_parse_arguments(RUN "" "WORKING_DIRECTORY" "" ${ARGN})
  if(NOT RUN_WORKING_DIRECTORY)
    set(RUN_WORKING_DIRECTORY ${BUILD_DIR})
  endif()
  execute_process(COMMAND ${RUN_UNPARSED_ARGUMENTS} WORKING_DIRECTORY ${RUN_WORKING_DIRECTORY}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Command failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

foreach(host compensator_host estimator_host)
  if(NOT EXISTS ${WORK_DIR}/build/${host})
    message(FATAL_ERROR "${host} was not built against the installed package")
  endif()
  file(MAKE_DIRECTORY ${WORK_DIR}/run-${host})
endforeach()
run(${WORK_DIR}/build/compensator_host WORKING_DIRECTORY ${WORK_DIR}/run-compensator_host)
# The estimator host identifies a simulated payload and writes payload.json beside its configuration.
file(COPY ${SOURCE_DIR}/examples/estimator_config.json DESTINATION ${WORK_DIR}/run-estimator_host)
run(${WORK_DIR}/build/estimator_host estimator_config.json
    WORKING_DIRECTORY ${WORK_DIR}/run-estimator_host)
if(NOT EXISTS ${WORK_DIR}/run-estimator_host/payload.json)
  message(FATAL_ERROR "estimator_host did not write payload.json:\n${last_output}")
endif()

# The examples must resolve the installed libraries, not the ones in the build tree.
find_program(LDD ldd)
if(LDD)
  run(${LDD} ${WORK_DIR}/build/compensator_host)
  if(NOT last_output MATCHES "${prefix}/lib[^\n]*/libVornPayloadCompensator\\.so\\.1")
    message(FATAL_ERROR "compensator_host does not load the installed library:\n${last_output}")
  endif()
endif()

file(GLOB_RECURSE pcs ${prefix}/*.pc)
list(LENGTH pcs pc_count)
if(NOT pc_count EQUAL 2)
  message(FATAL_ERROR "expected two pkg-config files, found: ${pcs}")
endif()
foreach(pc ${pcs})
  file(READ ${pc} text)
  if(NOT text MATCHES "Version: 1\\.0\\.3")
    message(FATAL_ERROR "${pc} does not carry version 1.0.3")
  endif()
endforeach()
message(STATUS "installed package OK")
