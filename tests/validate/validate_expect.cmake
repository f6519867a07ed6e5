# Runs zohost ARGS ('|'-separated) with ZO_FAULT=FAULT in its environment and
# checks the exit status (EXPECT_RC), that the output matches EXPECT_OUT, and
# that it does not match REJECT_OUT. With REPLAY set, runs it twice more and
# requires the same lines each time. With REPORT_KIND, REPORT_FILE and PYTHON,
# the report the run wrote must pass check_report.py (and its self-test)
# with the counts of the closing line.
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
if(DEFINED REPORT_KIND)
  if(NOT out MATCHES "\n([0-9]+) passed, ([0-9]+) failed\n$")
    message(FATAL_ERROR "zohost ${args}: no closing line\n${out}")
  endif()
  execute_process(COMMAND "${PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/check_report.py" ${REPORT_KIND} "${REPORT_FILE}"
                          ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} --selftest
                  RESULT_VARIABLE prc OUTPUT_VARIABLE pout ERROR_VARIABLE perr)
  if(NOT prc EQUAL 0)
    message(FATAL_ERROR "zohost ${args}: the report does not pass\n${pout}\n${perr}")
  endif()
  message("${pout}")
endif()
message("${out}")
