# Runs zohost with ARGS ('|'-separated) and checks its exit status, and when
# given, that its standard output matches EXPECT_OUT.
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${EMULATOR} "${ZOHOST}" ${args}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL "${EXPECT_RC}")
  message(FATAL_ERROR "zohost ${args}: exit ${rc}, expected ${EXPECT_RC}\n${out}\n${err}")
endif()
if(DEFINED EXPECT_OUT AND NOT out MATCHES "${EXPECT_OUT}")
  message(FATAL_ERROR "zohost ${args}: output does not match '${EXPECT_OUT}'\n${out}\n${err}")
endif()
if(DEFINED EXPECT_ERR AND NOT err MATCHES "${EXPECT_ERR}")
  message(FATAL_ERROR "zohost ${args}: standard error does not match '${EXPECT_ERR}'\n${out}\n${err}")
endif()
