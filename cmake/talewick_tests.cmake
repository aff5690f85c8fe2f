# The one way tests are registered.

# talewick_test(NAME COMMAND command... [LABELS ...] [TIMEOUT s] [ENVIRONMENT ...]
#               [PROPERTIES name value ...])
# Exit code 77 means skipped (a tool the test needs is missing).
function(talewick_test name)
  cmake_parse_arguments(PARSE_ARGV 1 TEST "" "TIMEOUT" "COMMAND;LABELS;ENVIRONMENT;PROPERTIES")
  if(NOT TEST_TIMEOUT)
    set(TEST_TIMEOUT 600)
  endif()
  add_test(NAME ${name} COMMAND ${TEST_COMMAND})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${TEST_TIMEOUT} SKIP_RETURN_CODE 77
                       ${TEST_PROPERTIES})
  if(TEST_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${TEST_LABELS}")
  endif()
  if(TEST_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TEST_ENVIRONMENT}")
  endif()
endfunction()

# talewick_gtest(NAME SOURCES ... LINK ... [LABELS ...] [TIMEOUT s] [ENVIRONMENT ...]
#                [MAY_SKIP Suite.Case ...])
# A GoogleTest executable in a folder of its own, registered as one test. Each
# case of MAY_SKIP (one that may find the machine unable to do what it needs) is
# a test of its own, NAME.Case, that ctest reports as skipped when it skips,
# rather than as one more case of a test that passed.
function(talewick_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 GTEST "" "TIMEOUT" "SOURCES;LINK;LABELS;ENVIRONMENT;MAY_SKIP")
  add_executable(${name} ${GTEST_SOURCES})
  target_link_libraries(${name} PRIVATE ${GTEST_LINK})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                           ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(filter "")
  if(GTEST_MAY_SKIP)
    list(JOIN GTEST_MAY_SKIP ":" alone)
    set(filter "--gtest_filter=-${alone}")
  endif()
  talewick_test(${name} COMMAND ${name} --gtest_brief=1 ${filter} LABELS ${GTEST_LABELS}
                TIMEOUT ${GTEST_TIMEOUT} ENVIRONMENT ${GTEST_ENVIRONMENT})
  foreach(case IN LISTS GTEST_MAY_SKIP)
    string(REGEX REPLACE "^.*[.]" "" short "${case}")
    talewick_test(${name}.${short} COMMAND ${name} --gtest_filter=${case}
                  LABELS ${GTEST_LABELS} TIMEOUT ${GTEST_TIMEOUT} ENVIRONMENT ${GTEST_ENVIRONMENT}
                  PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
  endforeach()
endfunction()
