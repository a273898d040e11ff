# Helpers shared by every folder's CMakeLists.

include(GoogleTest)

# sorvanta_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l1 l2] [OWN_DISPLAY])
# A GoogleTest executable whose cases ctest lists one by one. Label "display" marks tests that
# need an X display, "jack" those that start a private JACK server, "threads" those that the
# TSan configuration builds and runs. OWN_DISPLAY: the "display" tests start an X server of their
# own instead of using $DISPLAY.
function(sorvanta_add_test name)
  cmake_parse_arguments(T "OWN_DISPLAY" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_LIST ${name}_TESTS
    PROPERTIES ENVIRONMENT "SORVANTA_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/data")
  # Labels go on in a script of our own that ctest reads after the discovered list: passed
  # through the discovery's PROPERTIES, a list of labels is written out unquoted and all but
  # the first become bogus property names.
  if(T_LABELS)
    set(f "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
    # Suites on JACK run one at a time: libjack has crashed when several clients and servers of
    # one user start and stop at the same moment.
    # Suites on the shared display one at a time too: a menu or dialog grabs the pointer for the
    # whole X server, and one test's grab makes another's menu close the moment it opens.
    set(locks "")
    if("jack" IN_LIST T_LABELS)
      list(APPEND locks jack)
    endif()
    if("display" IN_LIST T_LABELS AND NOT T_OWN_DISPLAY)
      list(APPEND locks display)
    endif()
    set(lock "")
    if(locks)
      set(lock " RESOURCE_LOCK \"${locks}\"")
    endif()
    file(WRITE "${f}" "foreach(t IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${T_LABELS}\"${lock})\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${f}")
  endif()
  if("threads" IN_LIST T_LABELS)
    set_property(GLOBAL APPEND PROPERTY SORVANTA_THREAD_TESTS ${name})
  endif()
endfunction()

# The clang sanitizer build is also the fuzz build: there the libraries carry libFuzzer's
# coverage counters and comparison hooks (-fsanitize=fuzzer-no-link), so a fuzz target is guided
# by the code it tests and not only by its own harness. Other executables linking the libraries
# get the sanitizer runtime's empty hooks.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND SANITIZE STREQUAL "address")
  set(SORVANTA_FUZZ_COVERAGE ON)
else()
  set(SORVANTA_FUZZ_COVERAGE OFF)
endif()

# sorvanta_fuzz_coverage(target): instruments a library for the fuzz build (nothing elsewhere).
function(sorvanta_fuzz_coverage target)
  if(SORVANTA_FUZZ_COVERAGE)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# sorvanta_add_fuzzer(NAME SOURCES f.cpp LIBS lib1 [SECONDS n] [RUNS n])
# A fuzz target defines LLVMFuzzerTestOneInput. Built with clang it is a libFuzzer binary and
# ctest runs it for a few seconds (label "fuzz"); with other compilers it links a small driver
# that feeds it RUNS random and truncated inputs (20000; fewer for a target whose inputs write
# files or build a whole editor), so the target is built and exercised everywhere.
# Seeds: the files in tests/fuzz/corpus/NAME (kept small, in the tree); what the fuzzer finds
# goes to the build folder. In the fuzz build a second test, NAME_sees_library, fails when no
# function outside tests/ has coverage counters, i.e. the fuzzer would be blind to the library.
function(sorvanta_add_fuzzer name)
  cmake_parse_arguments(F "" "SECONDS;RUNS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 10)
  endif()
  if(NOT F_RUNS)
    set(F_RUNS 20000)
  endif()
  set(seeds ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
  set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${found})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(corpus ${found})
    if(EXISTS ${seeds})
      list(APPEND corpus ${seeds})
    endif()
    add_test(NAME ${name} COMMAND ${name} -max_total_time=${F_SECONDS} -rss_limit_mb=2048 -print_final_stats=1 ${corpus})
    if(SORVANTA_FUZZ_COVERAGE)
      add_test(NAME ${name}_sees_library
               COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DTESTS_DIR=${PROJECT_SOURCE_DIR}/tests
                       -P ${PROJECT_SOURCE_DIR}/tests/fuzz/SeesLibrary.cmake)
      set_tests_properties(${name}_sees_library PROPERTIES LABELS fuzz TIMEOUT 120)
    endif()
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_driver.cpp)
    set(seedArg "")
    if(EXISTS ${seeds})
      set(seedArg ${seeds})
    endif()
    add_test(NAME ${name} COMMAND ${name} ${F_RUNS} ${seedArg})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

# sorvanta_library(NAME LIBS a b ... [EXCLUDE f.cpp ...])
# The static library of the calling folder: every .cpp/.c file directly in the folder but those
# named in EXCLUDE, so adding a file needs no edit here. Does nothing while the folder has no sources.
function(sorvanta_library name)
  cmake_parse_arguments(L "" "" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  foreach(x ${L_EXCLUDE})
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${x})
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
  sorvanta_fuzz_coverage(${name})
endfunction()

# Adds every subfolder of the calling folder that has a CMakeLists.txt.
function(sorvanta_add_subfolders)
  file(GLOB subs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT subs)
  foreach(s ${subs})
    if(IS_DIRECTORY ${s} AND EXISTS ${s}/CMakeLists.txt)
      add_subdirectory(${s})
    endif()
  endforeach()
endfunction()
