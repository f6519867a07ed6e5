# Runs zohost with ARGS ('|'-separated) and checks its exit status, and when
# given, that its standard output matches EXPECT_OUT. With STDIN, that file
# comes through a pipe on standard input.
string(REPLACE "|" ";" args "${ARGS}")
if(DEFINED STDIN)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${STDIN}" COMMAND ${EMULATOR} "${ZOHOST}" ${args}
                  RESULTS_VARIABLE rcs OUTPUT_VARIABLE out ERROR_VARIABLE err)
  list(GET rcs 1 rc)
else()
  execute_process(COMMAND ${EMULATOR} "${ZOHOST}" ${args}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
endif()
if(NOT rc STREQUAL "${EXPECT_RC}")
  message(FATAL_ERROR "zohost ${args}: exit ${rc}, expected ${EXPECT_RC}\n${out}\n${err}")
endif()
if(DEFINED EXPECT_OUT AND NOT out MATCHES "${EXPECT_OUT}")
  message(FATAL_ERROR "zohost ${args}: output does not match '${EXPECT_OUT}'\n${out}\n${err}")
endif()
if(DEFINED EXPECT_ERR AND NOT err MATCHES "${EXPECT_ERR}")
  message(FATAL_ERROR "zohost ${args}: standard error does not match '${EXPECT_ERR}'\n${out}\n${err}")
endif()
