# tessra_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [SERIAL] [TIMEOUT s] [ENV k=v ...]
#                 [WRAP command args...])
#
# Declares one GoogleTest executable and registers it with CTest the same way everywhere.
# Unit tests carry the label "unit"; tests that run real adapters carry "integration"
# (plus "display" when they need the X server that tests/run-tests starts, and "fakelan"
# when they must run inside the lab namespace). SERIAL tests share machine state (the X
# display, the session bus, loopback port 80) and never run beside another test. WRAP runs
# the test binary through another command (dbus-run-session --, fakelan run -q --, ...).
function(tessra_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV;WRAP" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tessra_testing GTest::gmock GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_WRAP} $<TARGET_FILE:${T_NAME}> --gtest_color=no)
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
  if(T_ENV)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
