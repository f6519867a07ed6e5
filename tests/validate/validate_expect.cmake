# Runs zohost ARGS ('|'-separated) with ZO_FAULT=FAULT in its environment and
# checks the exit status (EXPECT_RC), that the output matches EXPECT_OUT, and
# that it does not match REJECT_OUT. With REPLAY set, runs it twice more and
# requires the same lines each time.
string(REPLACE "|" ";" args "${ARGS}")
set(ENV{ZO_FAULT} "${FAULT}")
execute_process(COMMAND ${EMULATOR} "${ZOHOST}" ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL "${EXPECT_RC}")
  message(FATAL_ERROR "ZO_FAULT=${FAULT} zohost ${args}: exit ${rc}, expected ${EXPECT_RC}\n${out}\n${err}")
endif()
if(DEFINED EXPECT_OUT AND NOT out MATCHES "${EXPECT_OUT}")
  message(FATAL_ERROR "ZO_FAULT=${FAULT} zohost ${args}: output does not match '${EXPECT_OUT}'\n${out}\n${err}")
endif()
if(DEFINED REJECT_OUT AND out MATCHES "${REJECT_OUT}")
  message(FATAL_ERROR "ZO_FAULT=${FAULT} zohost ${args}: output matches '${REJECT_OUT}'\n${out}\n${err}")
endif()
if(REPLAY)
  execute_process(COMMAND ${EMULATOR} "${ZOHOST}" ${args} RESULT_VARIABLE rc2 OUTPUT_VARIABLE out2 ERROR_VARIABLE err2)
  if(NOT out2 STREQUAL out OR NOT rc2 STREQUAL rc)
    message(FATAL_ERROR "zohost ${args} printed other lines the second time:\n${out}\n---\n${out2}")
  endif()
endif()
message("${out}")
