# GoogleTest built from Debian's source package, so that the same sources
# serve the native, -m32 and MinGW builds alike (the prebuilt libraries are
# 64-bit Linux only). Include once from the top level, before any directory
# that calls zo_add_gtest().
include_guard(GLOBAL)

set(ZO_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")

if(NOT TARGET gtest)
  if(NOT EXISTS "${ZO_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${ZO_GTEST_SOURCE_DIR}: "
                        "install the 'googletest' package (scripts/setup.sh)")
  endif()
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # SYSTEM: its headers raise no warnings in our -Werror targets.
  add_subdirectory("${ZO_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
endif()

# Where the top level puts the module. Fixed here because test directories
# may come before the Ondix2 target; checked against the target at the end.
set(ZO_MODULE_FILE "${CMAKE_BINARY_DIR}/Ondix2.zom")

function(_zo_check_module_file)
  if(NOT TARGET Ondix2)
    message(FATAL_ERROR "zo_add_gtest: there is no Ondix2 target")
  endif()
  get_target_property(dir Ondix2 LIBRARY_OUTPUT_DIRECTORY)
  get_target_property(prefix Ondix2 PREFIX)
  get_target_property(base Ondix2 OUTPUT_NAME)
  get_target_property(suffix Ondix2 SUFFIX)
  if(NOT "${dir}/${prefix}${base}${suffix}" STREQUAL "${ZO_MODULE_FILE}")
    message(FATAL_ERROR "Ondix2 is built as ${dir}/${prefix}${base}${suffix}, "
                        "but tests expect ${ZO_MODULE_FILE}: update cmake/ZoGTest.cmake")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _zo_check_module_file)

# The path as a test program opens it. Wine sees the Linux file system as
# drive Z:, and LoadLibrary takes a Windows path.
if(WIN32 AND CMAKE_HOST_UNIX)
  string(REPLACE "/" "\\\\" ZO_TEST_MODULE_PATH "Z:${ZO_MODULE_FILE}")
else()
  set(ZO_TEST_MODULE_PATH "${ZO_MODULE_FILE}")
endif()

# zo_add_gtest(name SOURCES a.cpp ... [LIBS lib ...] [TIMEOUT seconds])
# One executable linked with gmock and gtest_main, registered as one ctest
# test. ZO_MODULE_PATH (a string literal) names the built module.
function(zo_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_SOURCES)
    message(FATAL_ERROR "usage: zo_add_gtest(name SOURCES files... [LIBS libs...] [TIMEOUT s])")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gmock gtest_main)
  target_compile_definitions(${name} PRIVATE "ZO_MODULE_PATH=\"${ZO_TEST_MODULE_PATH}\"")
  add_dependencies(${name} Ondix2)
  zo_warnings(${name})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
           WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    # qemu and Wine start slowly and run slower.
    if(CMAKE_CROSSCOMPILING)
      set(ARG_TIMEOUT 600)
    else()
      set(ARG_TIMEOUT 300)
    endif()
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
