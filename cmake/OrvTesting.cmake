# Test helpers: every test gets a timeout and its whole environment from here,
# so results never depend on the caller's shell.
include(GoogleTest)
find_package(GTest REQUIRED)

set(ORV_TEST_HOME_ROOT ${CMAKE_BINARY_DIR}/testhome)

# The environment every test process starts with. HOME and XDG_DATA_HOME point
# at a per-test folder so per-user preference directories never touch the
# developer's own.
function(orv_test_environment out name)
  set(home ${ORV_TEST_HOME_ROOT}/${name})
  file(MAKE_DIRECTORY ${home}/share)
  set(${out}
    "HOME=${home}"
    "XDG_DATA_HOME=${home}/share"
    "ORV_TEST_TMPDIR=${home}"
    "ORV_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "ORV_BINARY_DIR=${CMAKE_BINARY_DIR}"
    "ORV_BUILD_TYPE=${CMAKE_BUILD_TYPE}"
    "SDL_VIDEODRIVER=dummy"
    "SDL_AUDIODRIVER=dummy"
    "ALSOFT_DRIVERS=null"
    "DISPLAY="
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1"
    PARENT_SCOPE)
endfunction()

# orv_add_unit_test(<module> SOURCES ... LIBS ... [TIMEOUT s])
# One GoogleTest executable per engine module, with the counting allocator's main.
function(orv_add_unit_test module)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(target ${module}_test)
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} orv_test_main GTest::gtest)
  orv_test_environment(env ${target})
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${module}."
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # gtest_discover_tests flattens list-valued PROPERTIES (the environment would
  # keep only its first entry and swallow what follows), so the environment and
  # the label are set by a script that ctest runs after the discovered tests.
  set(props ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(WRITE ${props}
    "if(${target}_TESTS)\n"
    "  set_tests_properties(\${${target}_TESTS} PROPERTIES\n"
    "    ENVIRONMENT [==[${env}]==] LABELS unit)\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props})
endfunction()
