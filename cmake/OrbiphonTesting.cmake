# Test registration shared by every tests/<subsystem> folder. Test names start with the
# subsystem ("addressbook_file") so `ctest -R addressbook` picks a group.

set(ORBIPHON_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)

function(orbiphon_test_environment name out)
  set(home ${ORBIPHON_TEST_HOME}/${name})
  set(${out}
    "QT_QPA_PLATFORM=offscreen"
    "QTEST_FUNCTION_TIMEOUT=120000"
    "XDG_DATA_HOME=${home}/data"
    "XDG_CONFIG_HOME=${home}/config"
    "XDG_RUNTIME_DIR=${home}/runtime"
    "ORBIPHON_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
    "ORBIPHON_BINARY_DIR=${CMAKE_BINARY_DIR}"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    PARENT_SCOPE)
  file(MAKE_DIRECTORY ${home}/data ${home}/config ${home}/runtime)
endfunction()

# A test whose cases could not run here is shown by CTest as skipped, not passed: a GoogleTest
# program exits with this code when every case it ran skipped (tests/support/gtestmain.cpp), and
# a Qt Test program is skipped when its totals show skips and nothing else.
set(ORBIPHON_SKIP_RETURN_CODE 77)
set(ORBIPHON_QTEST_SKIPPED "Totals: 0 passed, 0 failed, [1-9][0-9]* skipped")

# orbiphon_gtest(<name> <source>... LIBS <libs>... [LABELS <labels>...] [TIMEOUT <s>]
#                [NAMESPACE_CASES <gtest filter>])
# NAMESPACE_CASES: the cases that need a private network or mount namespace run as a test of
# their own, <name>_namespace, so that where none can be had CTest shows them as skipped.
function(orbiphon_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT;NAMESPACE_CASES" "LIBS;LABELS" ${ARGN})
  add_executable(test_${name} ${T_UNPARSED_ARGUMENTS})
  orbiphon_defaults(test_${name})
  set_target_properties(test_${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} orbiphon_testsupport_core GTest::gtest
                                             GTest::gmock orbiphon_testsupport_gtestmain)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_NAMESPACE_CASES)
    add_test(NAME ${name} COMMAND test_${name} --gtest_filter=-${T_NAMESPACE_CASES})
    add_test(NAME ${name}_namespace COMMAND test_${name} --gtest_filter=${T_NAMESPACE_CASES})
    set(tests ${name} ${name}_namespace)
  else()
    add_test(NAME ${name} COMMAND test_${name})
    set(tests ${name})
  endif()
  foreach(test ${tests})
    orbiphon_test_environment(${test} env)
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT}
                                            LABELS "core;${T_LABELS}"
                                            SKIP_RETURN_CODE ${ORBIPHON_SKIP_RETURN_CODE})
  endforeach()
endfunction()

# orbiphon_qttest(<name> <source>... LIBS <libs>... [LABELS <labels>...] [TIMEOUT <s>])
function(orbiphon_qttest name)
  cmake_parse_arguments(T "" "TIMEOUT" "LIBS;LABELS" ${ARGN})
  add_executable(test_${name} ${T_UNPARSED_ARGUMENTS})
  orbiphon_defaults(test_${name})
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} orbiphon_testsupport_ui Qt6::Test)
  add_test(NAME ${name} COMMAND test_${name})
  orbiphon_test_environment(${name} env)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT}
                                          LABELS "window;${T_LABELS}"
                                          SKIP_REGULAR_EXPRESSION "${ORBIPHON_QTEST_SKIPPED}")
endfunction()
