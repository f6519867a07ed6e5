# Runs zohost ARGS ('|'-separated) under Wine to write OUT, then has the Linux
# build run the same command and compare the pictures outside the text.
if(NOT EXISTS "${COMPARE}")
  message(FATAL_ERROR "${COMPARE} is missing: build the linux preset first")
endif()
string(REPLACE "|" ";" args "${ARGS}")
file(REMOVE "${OUT}")
execute_process(COMMAND ${EMULATOR} "${ZOHOST}" ${args} --png "${OUT}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS "${OUT}")
  message(FATAL_ERROR "zohost ${args} --png under Wine: exit ${rc}\n${out}\n${err}")
endif()
execute_process(COMMAND "${COMPARE}" "${OUT}" ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the picture differs from the Linux rendering")
endif()
