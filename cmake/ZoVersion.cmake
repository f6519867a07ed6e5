# The product's version: PROJECT_VERSION, from project() in the top
# CMakeLists.txt, and nowhere else. The commit is added where the source tree
# is a git checkout (not in an unpacked source archive). The module's
# description keeps its own interface number, which is not this version.

set(ZO_GIT_COMMIT "")
find_package(Git QUIET)
if(GIT_FOUND)
  # Only this project's own checkout: a source archive unpacked inside some
  # other repository must not take that one's commit.
  execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                  OUTPUT_VARIABLE zo_git_top ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND "${GIT_EXECUTABLE}" describe --always --dirty --abbrev=10
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                  RESULT_VARIABLE zo_git_rc OUTPUT_VARIABLE zo_git_out ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(REAL_PATH "${PROJECT_SOURCE_DIR}" zo_source_real)
  if(zo_git_top)
    file(REAL_PATH "${zo_git_top}" zo_git_top)
  endif()
  if(zo_git_rc EQUAL 0 AND zo_git_out AND zo_git_top STREQUAL zo_source_real)
    set(ZO_GIT_COMMIT "${zo_git_out}")
    # Configure again when HEAD moves, so that the commit shown follows it.
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --absolute-git-dir
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                    OUTPUT_VARIABLE zo_git_dir ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(EXISTS "${zo_git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${zo_git_dir}/logs/HEAD")
    endif()
  endif()
endif()

set(ZO_VERSION_TEXT "${PROJECT_VERSION}")
if(ZO_GIT_COMMIT)
  string(APPEND ZO_VERSION_TEXT " (git ${ZO_GIT_COMMIT})")
endif()

# A header rather than a compile definition: a new commit recompiles only
# what prints the version.
set(ZO_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/version/ZoVersion.h.in" "${ZO_GENERATED_DIR}/ZoVersion.h" @ONLY)

# zo_version_resource(TARGET FILE_NAME DESCRIPTION): a Windows version
# resource, so that Explorer's properties and installers see the version.
function(zo_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  set(ZO_RC_FILE_NAME "${file_name}")
  set(ZO_RC_DESCRIPTION "${description}")
  get_target_property(zo_type ${target} TYPE)
  if(zo_type STREQUAL "EXECUTABLE")
    set(ZO_RC_FILE_TYPE "0x1L")  # VFT_APP
  else()
    set(ZO_RC_FILE_TYPE "0x2L")  # VFT_DLL
  endif()
  set(rc "${ZO_GENERATED_DIR}/${target}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()
