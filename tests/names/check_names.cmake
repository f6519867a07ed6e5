# Fails when a number of the host interface is written bare where its name
# belongs: the opcode of a dispatcher call, the request of a CallHost call or
# of a request log query, an event type, an object kind, a case of a switch
# over an opcode, request or type, a comparison with one, or a message code.
# Every name lives in sdk/ZOProtocol.h.
#
#   cmake -DROOT=<source dir> -P check_names.cmake
#       checks the directories listed below;
#   cmake -DFILES=<file;...> [-DPINS=ON] [-DSELFTEST=ON] -P check_names.cmake
#       checks the given files (with PINS, for scope pin names too); with
#       SELFTEST, passes only when exactly the lines marked "// bare" or
#       "// pin name" are reported (the detector's own control).
#
# Also fails when a pin name of the scope is spelled in host/ outside
# host/scope/, where all zohost knows of the scope belongs.

include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/ZoDetectorSelfTest.cmake")

cmake_minimum_required(VERSION 3.25)

# The checked part of the tree: files or directories under ROOT.
set(ZO_NAMED_PATHS
  ZOModuleMain.cpp
  sdk
  scope
  bench
  fuzz
  tests/sdk
  tests/scope
  tests/support
  tests/crosscheck
  tests/threads
  tests/host
  tests/validate
  tests/zohost
  host)
set(ZO_NAMING_HEADER sdk/ZOProtocol.h)

set(N "-?[0-9][0-9A-Fa-fxX]*")
set(B "(^|[^A-Za-z0-9_])")  # start of an identifier
set(ARG1 "[^,()]*(\\([^()]*\\))?[^,()]*")  # one argument, one call deep
set(zo_patterns
  # opcode or request first: CallHost(17, ...), in.audioCall(12, ...), guiOps(6)
  "${B}(CallHost|audioCall|displayCall|audioOps|guiOps|with)[ ]*\\([ ]*${N}[ ]*[,)]"
  # opcode, request, event type or object kind second: dispatch(&m, 13),
  # record->dispatcher(record, 2, ...), ZoEvent(t, 21, ...), makeModule(0, 1, ...)
  "${B}(dispatch|dispatcher|dispatchEffectClass|request|ask|AddEvent|makeModule|ZoEvent( [A-Za-z_][A-Za-z0-9_]*)?)[ ]*\\(${ARG1},[ ]*${N}[ ]*[,)]"
  # request log queries and answers: log.find(Side::Display, 2),
  # host.answers[14] = [](zolong) { ... }
  "${B}(find|count)[ ]*\\([ ]*Side::[A-Za-z]+[ ]*,[ ]*${N}[ ]*[,)]"
  "${B}answers[ ]*<LB>[ ]*${N}[ ]*<RB>[ ]*=[ ]*<LB>"
  # comparisons: opcode == 6, c.opcode != 12, e->type == 21
  "${B}(opcode|op|request|type)[ ]*[!=]=[ ]*${N}"
  # message codes
  "0x0*61746164|0x0*6[Bb]6361")
# The scope's pin names in code: the distinctive ones anywhere, "Time" and
# "Trigger" only as whole strings.
set(zo_pin_patterns
  "Signal A|Signal B|EXT-Trigger|Y-Scale|X-Y-Mode|Time-Mode"
  "(<BS>)?\"(Time|Trigger)(<BS>)?\"")
set(ZO_PIN_FREE_PATH host)
set(ZO_PIN_HOME host/scope)
# ---- Known exceptions: files of host/ that still spell scope pin names,
# each to be removed when its names move under host/scope/.
set(zo_pin_exceptions)
# ---- End of the known exceptions.

set(zo_switch_subject "switch[ ]*\\((.*[^A-Za-z0-9_])?(opcode|op|request|type)([^A-Za-z0-9_]|$)")

# Reports into the caller's zo_found (one "file:line: text" each) and, for a
# self test, zo_marked and zo_flagged (line numbers).
function(zo_check_file file pins)
  file(READ "${file}" content)
  string(REPLACE "\\" "<BS>" content "${content}")
  string(REPLACE ";" "<SC>" content "${content}")
  string(REPLACE "[" "<LB>" content "${content}")
  string(REPLACE "]" "<RB>" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(found "${zo_found}")
  set(marked "${zo_marked}")
  set(flagged "${zo_flagged}")
  set(number 0)
  set(depth 0)
  set(switches "")  # stack of "<interface 0|1>:<depth at its start>"
  foreach(raw IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REPLACE "<LB>" "[" line "${raw}")
    string(REPLACE "<RB>" "]" line "${line}")
    string(REPLACE "<SC>" ";" line "${line}")
    string(REPLACE "<BS>" "\\" line "${line}")
    if(line MATCHES "// (bare|pin name)$")
      list(APPEND marked "${file}:${number}")
    endif()
    string(REGEX REPLACE "//.*$" "" code "${line}")
    set(hit FALSE)
    if(pins)
      string(REPLACE "\\" "<BS>" pin_code "${code}")
      foreach(pattern IN LISTS zo_pin_patterns)
        if(pin_code MATCHES "${pattern}")
          set(hit TRUE)
        endif()
      endforeach()
    endif()
    foreach(pattern IN LISTS zo_patterns)
      string(REPLACE "<LB>" "\\[" pattern "${pattern}")  # a literal bracket, kept out
      string(REPLACE "<RB>" "\\]" pattern "${pattern}")  # of the list's own balancing
      if(code MATCHES "${pattern}")
        set(hit TRUE)
      endif()
    endforeach()
    if(code MATCHES "(^|[^A-Za-z0-9_])switch[ ]*\\(")
      if(code MATCHES "${zo_switch_subject}")
        list(APPEND switches "1:${depth}")
      else()
        list(APPEND switches "0:${depth}")
      endif()
    endif()
    if(switches AND code MATCHES "(^|[^A-Za-z0-9_])case[ ]+${N}[ ]*:")
      list(GET switches -1 top)
      if(top MATCHES "^1:")
        set(hit TRUE)
      endif()
    endif()
    string(REGEX MATCHALL "{" opens "${code}")
    string(REGEX MATCHALL "}" closes "${code}")
    list(LENGTH opens o)
    list(LENGTH closes c)
    math(EXPR depth "${depth} + ${o} - ${c}")
    while(switches AND c GREATER 0)
      list(GET switches -1 top)
      string(REGEX REPLACE "^[01]:" "" start "${top}")
      if(depth GREATER start)
        break()
      endif()
      list(REMOVE_AT switches -1)
    endwhile()
    if(hit AND pins STREQUAL "EXEMPT")
      set(zo_exempt_hit TRUE PARENT_SCOPE)
    elseif(hit)
      string(STRIP "${line}" shown)
      string(REPLACE ";" "," shown "${shown}")
      list(APPEND found "${file}:${number}: ${shown}")
      list(APPEND flagged "${file}:${number}")
    endif()
  endforeach()
  set(zo_found "${found}" PARENT_SCOPE)
  set(zo_marked "${marked}" PARENT_SCOPE)
  set(zo_flagged "${flagged}" PARENT_SCOPE)
endfunction()

set(files "")
if(DEFINED FILES)
  set(files ${FILES})
else()
  foreach(path IN LISTS ZO_NAMED_PATHS)
    if(IS_DIRECTORY "${ROOT}/${path}")
      file(GLOB_RECURSE found_files "${ROOT}/${path}/*.cpp" "${ROOT}/${path}/*.h")
      list(APPEND files ${found_files})
    else()
      list(APPEND files "${ROOT}/${path}")
    endif()
  endforeach()
  list(REMOVE_ITEM files "${ROOT}/${ZO_NAMING_HEADER}")
endif()
list(LENGTH files file_count)
if(file_count EQUAL 0)
  message(FATAL_ERROR "no files to check")
endif()

set(zo_found "")
set(zo_marked "")
set(zo_flagged "")
set(zo_pins_stale ${zo_pin_exceptions})
foreach(file IN LISTS files)
  set(pins OFF)
  if(DEFINED FILES)
    set(pins ${PINS})
  else()
    file(RELATIVE_PATH rel "${ROOT}" "${file}")
    if(rel MATCHES "^${ZO_PIN_FREE_PATH}/" AND NOT rel MATCHES "^${ZO_PIN_HOME}/")
      if(rel IN_LIST zo_pin_exceptions)
        set(pins EXEMPT)
      else()
        set(pins ON)
      endif()
    endif()
  endif()
  set(zo_exempt_hit FALSE)
  zo_check_file("${file}" "${pins}")
  if(zo_exempt_hit)
    list(REMOVE_ITEM zo_pins_stale "${rel}")
  endif()
endforeach()
if(NOT DEFINED FILES)
  foreach(rel IN LISTS zo_pins_stale)
    message(STATUS "known exception no longer needed, remove it: ${rel}")
  endforeach()
endif()

if(SELFTEST)
  zo_detector_selftest("marked lines missed" "reported without a mark")
  return()
endif()

list(LENGTH zo_found count)
if(count GREATER 0)
  foreach(item IN LISTS zo_found)
    message("${item}")
  endforeach()
  message(FATAL_ERROR "${count} bare interface numbers or scope pin names; use the names of "
                      "${ZO_NAMING_HEADER}, and keep the scope's pin names under ${ZO_PIN_HOME}/")
endif()
message(STATUS "${file_count} files, no bare interface number, no scope pin name outside ${ZO_PIN_HOME}/")
