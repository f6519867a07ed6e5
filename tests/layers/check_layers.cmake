# Fails when an #include runs against the direction of the layers: a folder
# may include its own headers and those of the layers it is allowed to use,
# nothing above or beside it. Also fails on a platform test (_WIN32) in a
# file of host/ that is not one platform's own (named ...Win, ...Posix,
# ...Sdl or ...ZoGdi): shared files hold no platform logic.
#
#   cmake -DROOT=<source dir> -P check_layers.cmake
#       checks every source file of the layered folders;
#   cmake -DROOT=<source dir> -DFILES=<file> -DAS=<path> [-DSELFTEST=ON] -P check_layers.cmake
#       checks one file as if it were ROOT/<path>; with SELFTEST, passes only
#       when exactly the lines marked "// wrong way" are reported (the
#       detector's own control).

include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/ZoDetectorSelfTest.cmake")

cmake_minimum_required(VERSION 3.25)

# The layers, lowest first: name, folders (under ROOT), the layers it may use.
set(zo_layers
  "sdk      | sdk                       | gdi"
  "gdi      | gdi                       | "
  "module   | scope ZOModuleMain.cpp    | sdk gdi"
  "core     | host/src host/include     | sdk gdi"
  "scopehost| host/scope                | core module sdk gdi"
  "probe    | host/probe                | "
  "gen      | host/gen                  | core sdk gdi"
  "run      | host/run                  | core scopehost gen probe module sdk gdi"
  "validate | host/validate             | core scopehost gen probe module sdk gdi"
  "tool     | host/tool                 | run core scopehost gen probe module sdk gdi"
  "live     | host/live                 | run core scopehost gen probe module sdk gdi"
  "app      | host/app                  | tool live validate run core scopehost gen probe module sdk gdi"
  "bench    | host/bench                | core scopehost gen probe module sdk gdi")
# Files of host/ that belong to one platform.
set(zo_platform_file "^host/.*(Win|Posix|Sdl|ZoGdi)\\.(cpp|h)$")

# Where a quoted include is looked for after the including file's folder, as
# the build's include directories give them.
set(zo_include_roots host host/include host/scope host/probe host/gen host/validate sdk scope gdi/include)

# ---- Known exceptions: includes that run the wrong way today, each to be
# removed with the coupling. "<file> -> <included file>", both under ROOT.
set(zo_layer_exceptions)
# ---- End of the known exceptions.

# Sets `out` to the layer of a path under ROOT, or empty.
function(zo_layer_of rel out)
  set(found "")
  foreach(row IN LISTS zo_layers)
    string(REPLACE "|" ";" cols "${row}")
    list(GET cols 0 name)
    list(GET cols 1 folders)
    string(STRIP "${name}" name)
    string(STRIP "${folders}" folders)
    string(REPLACE " " ";" folders "${folders}")
    foreach(f IN LISTS folders)
      if(rel STREQUAL f OR rel MATCHES "^${f}/")
        set(found "${name}")
      endif()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(zo_allowed_of layer out)
  set(allowed "")
  foreach(row IN LISTS zo_layers)
    string(REPLACE "|" ";" cols "${row}")
    list(GET cols 0 name)
    list(GET cols 2 uses)
    string(STRIP "${name}" name)
    if(name STREQUAL layer)
      string(STRIP "${uses}" uses)
      string(REPLACE " " ";" allowed "${uses}")
    endif()
  endforeach()
  set(${out} "${allowed}" PARENT_SCOPE)
endfunction()

# Reports into the caller's zo_found and, for a self test, zo_marked and
# zo_flagged. `rel` is where the file stands under ROOT.
function(zo_check_file file rel)
  zo_layer_of("${rel}" layer)
  if(NOT layer)
    message(FATAL_ERROR "${rel} is in no layer")
  endif()
  zo_allowed_of("${layer}" allowed)
  get_filename_component(dir "${rel}" DIRECTORY)
  file(STRINGS "${file}" lines)
  set(found "${zo_found}")
  set(used "${zo_used}")
  set(marked "${zo_marked}")
  set(flagged "${zo_flagged}")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "// wrong way$")
      list(APPEND marked "${rel}:${number}")
    endif()
    if(line MATCHES "^[ \t]*#[ \t]*(if|ifdef|ifndef|elif)[ \t].*_WIN32" AND rel MATCHES "^host/"
       AND NOT rel MATCHES "${zo_platform_file}")
      list(APPEND found "${rel}:${number}: a platform test in a shared file")
      list(APPEND flagged "${rel}:${number}")
      continue()
    endif()
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">]")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    set(target "")
    foreach(root IN ITEMS "${dir}" ${zo_include_roots})
      if(NOT target AND EXISTS "${ROOT}/${root}/${name}" AND NOT IS_DIRECTORY "${ROOT}/${root}/${name}")
        file(RELATIVE_PATH target "${ROOT}" "${ROOT}/${root}/${name}")
      endif()
    endforeach()
    if(NOT target)
      continue()  # the system's or another library's
    endif()
    zo_layer_of("${target}" to)
    if(NOT to OR to STREQUAL layer OR to IN_LIST allowed)
      continue()
    endif()
    if(NOT DEFINED FILES AND "${rel} -> ${target}" IN_LIST zo_layer_exceptions)
      list(APPEND used "${rel} -> ${target}")
      continue()
    endif()
    list(APPEND found "${rel}:${number}: ${layer} includes ${to} (${target})")
    list(APPEND flagged "${rel}:${number}")
  endforeach()
  set(zo_found "${found}" PARENT_SCOPE)
  set(zo_used "${used}" PARENT_SCOPE)
  set(zo_marked "${marked}" PARENT_SCOPE)
  set(zo_flagged "${flagged}" PARENT_SCOPE)
endfunction()

set(zo_found "")
set(zo_used "")
set(zo_marked "")
set(zo_flagged "")
set(count 0)
if(DEFINED FILES)
  zo_check_file("${FILES}" "${AS}")
  set(count 1)
else()
  foreach(row IN LISTS zo_layers)
    string(REPLACE "|" ";" cols "${row}")
    list(GET cols 1 folders)
    string(STRIP "${folders}" folders)
    string(REPLACE " " ";" folders "${folders}")
    foreach(f IN LISTS folders)
      if(IS_DIRECTORY "${ROOT}/${f}")
        file(GLOB_RECURSE files "${ROOT}/${f}/*.cpp" "${ROOT}/${f}/*.h" "${ROOT}/${f}/*.c")
      elseif(EXISTS "${ROOT}/${f}")
        set(files "${ROOT}/${f}")
      else()
        set(files "")
      endif()
      foreach(file IN LISTS files)
        file(RELATIVE_PATH rel "${ROOT}" "${file}")
        zo_check_file("${file}" "${rel}")
        math(EXPR count "${count} + 1")
      endforeach()
    endforeach()
  endforeach()
endif()

if(SELFTEST)
  zo_detector_selftest("wrong-way includes missed" "reported without running the wrong way")
  return()
endif()

set(stale "")
if(NOT DEFINED FILES)
  set(stale ${zo_layer_exceptions})
endif()
if(stale AND zo_used)
  list(REMOVE_ITEM stale ${zo_used})
endif()
foreach(item IN LISTS stale)
  message(STATUS "known exception no longer needed, remove it: ${item}")
endforeach()

list(LENGTH zo_found n)
if(n GREATER 0)
  foreach(item IN LISTS zo_found)
    message("${item}")
  endforeach()
  message(FATAL_ERROR "${n} includes against the direction of the layers")
endif()
message(STATUS "${count} files, every include in the direction of the layers")
