# ctest -P script: runs a libFuzzer binary briefly with -print_coverage=1 and fails unless some
# covered function lies outside the tests folder, i.e. the library under test has coverage
# counters and the fuzzer is guided by it, not only by its harness.
#   cmake -DFUZZER=path/to/fuzzer -DTESTS_DIR=<source>/tests -P SeesLibrary.cmake
execute_process(COMMAND ${FUZZER} -runs=200 -seed=1 -print_coverage=1
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}\n${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${rc}):\n${all}")
endif()
string(REGEX MATCHALL "COVERED_FUNC: [^\n]*" covered "${all}")
set(harness 0)
set(library 0)
foreach(line IN LISTS covered)
  string(FIND "${line}" "${TESTS_DIR}/" inTests)
  if(inTests GREATER_EQUAL 0)
    math(EXPR harness "${harness} + 1")
  elseif(line MATCHES "/(util|platform|winx|gfx|plugin|uiconfig|librarian|engine|editor)/")
    math(EXPR library "${library} + 1")
  endif()
endforeach()
message(STATUS "covered functions: ${harness} in the harness, ${library} in the libraries")
if(library EQUAL 0)
  message(FATAL_ERROR "${FUZZER}: no covered function outside the harness; the libraries are not instrumented")
endif()
