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

# orbiphon_gtest(<name> <source>... LIBS <libs>... [LABELS <labels>...] [TIMEOUT <s>])
function(orbiphon_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "LIBS;LABELS" ${ARGN})
  add_executable(test_${name} ${T_UNPARSED_ARGUMENTS})
  orbiphon_defaults(test_${name})
  set_target_properties(test_${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} orbiphon_testsupport_core GTest::gtest
                                             GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND test_${name})
  orbiphon_test_environment(${name} env)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT}
                                          LABELS "core;${T_LABELS}")
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
                                          LABELS "window;${T_LABELS}")
endfunction()
