# cmake --install into a fresh prefix, then the installed zohost draws with
# the installed module, found from its own place.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install: ${rc}\n${out}\n${err}")
endif()
foreach(f bin/zohost lib/Ondix2.zom lib/libzogdi.so)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}\n${out}")
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/bin/zohost" --describe
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "module: *${PREFIX}/bin/\\.\\./lib/Ondix2\\.zom")
  message(FATAL_ERROR "installed zohost --describe: ${rc}\n${out}\n${err}")
endif()
execute_process(COMMAND "${PREFIX}/bin/zohost" --png "${PREFIX}/scope.png" --seconds 0.1
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS "${PREFIX}/scope.png")
  message(FATAL_ERROR "installed zohost: ${rc}\n${out}\n${err}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
