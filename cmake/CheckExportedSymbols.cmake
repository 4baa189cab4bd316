# Fails when a shared library exports anything of the core: only the public facade classes
# (vorn::VornPayloadEstimator, vorn::VornPayloadCompensator) may appear among the defined dynamic
# symbols. Arguments: -DLIBRARY=path -DPUBLIC_CLASS=vorn::VornPayloadEstimator
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed: ${err}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(public_count 0)
foreach(line ${lines})
  if(line MATCHES "${PUBLIC_CLASS}")
    math(EXPR public_count "${public_count} + 1")
  elseif(line MATCHES "vorn::|Eigen::|nlohmann::")
    message(FATAL_ERROR "${LIBRARY} exports a core symbol: ${line}")
  endif()
endforeach()
if(public_count EQUAL 0)
  message(FATAL_ERROR "${LIBRARY} exports nothing of ${PUBLIC_CLASS}")
endif()
message(STATUS "${LIBRARY}: ${public_count} public symbols, nothing of the core")
