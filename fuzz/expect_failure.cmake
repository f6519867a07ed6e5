# Negative control of a fuzz target: runs PROGRAM (built with ZO_FUZZ_FAULTS)
# over its seeds with the fault FAULT injected, and passes only when it stops
# with output matching EXPECT. A check or sanitizer that stays quiet fails here.
foreach(var PROGRAM FAULT EXPECT SEEDS ARTIFACTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "expect_failure.cmake needs -D${var}=...")
  endif()
endforeach()
set(ENV{ZO_FUZZ_FAULT} "${FAULT}")
# New inputs go to a scratch corpus, never into the seeds.
set(scratch "${ARTIFACTS}/corpus-${FAULT}")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}")
execute_process(COMMAND "${PROGRAM}" -runs=20000 -timeout=20 "-artifact_prefix=${ARTIFACTS}/" "${scratch}" "${SEEDS}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")
if(rc EQUAL 0)
  message(FATAL_ERROR "fault '${FAULT}' went unreported (exit 0):\n${all}")
endif()
if(NOT all MATCHES "${EXPECT}")
  message(FATAL_ERROR "fault '${FAULT}': exit ${rc}, but no match for '${EXPECT}':\n${all}")
endif()
message(STATUS "fault '${FAULT}' reported as expected (exit ${rc})")
