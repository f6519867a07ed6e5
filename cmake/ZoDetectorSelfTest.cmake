# A detector's run over its own fixture, for the source checks run with
# -P: it passes only when every line the fixture marks (zo_marked) was
# reported (zo_flagged) and nothing else was.
macro(zo_detector_selftest missed_says extra_says)
  if(NOT zo_marked)
    message(FATAL_ERROR "the fixture marks no line")
  endif()
  set(zo_missed ${zo_marked})
  list(REMOVE_ITEM zo_missed ${zo_flagged})
  set(zo_extra ${zo_flagged})
  list(REMOVE_ITEM zo_extra ${zo_marked})
  if(zo_missed OR zo_extra)
    message(FATAL_ERROR "${missed_says}: ${zo_missed}\n${extra_says}: ${zo_extra}")
  endif()
  list(LENGTH zo_marked zo_count)
  message(STATUS "all ${zo_count} marked lines reported, nothing else")
endmacro()
