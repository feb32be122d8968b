# Run by CTest before it runs or lists the tests: adds one test per case
# file, e2e/<group>/<name>, as run_case.py --list names them. Needs
# KUP_PYTHON, KUP_EXECUTABLE and KUP_E2E_DIR.
execute_process(
  COMMAND ${KUP_PYTHON} ${KUP_E2E_DIR}/run_case.py --list ${KUP_E2E_DIR}/cases
  OUTPUT_VARIABLE case_names
  RESULT_VARIABLE listed)
if(NOT listed EQUAL 0)
  # A test that fails and shows why the cases could not be listed.
  add_test(e2e/list_cases ${KUP_PYTHON} ${KUP_E2E_DIR}/run_case.py --list ${KUP_E2E_DIR}/cases)
  return()
endif()
string(REPLACE "\n" ";" case_names "${case_names}")
foreach(case_name IN LISTS case_names)
  if(case_name STREQUAL "")
    continue()
  endif()
  add_test(e2e/${case_name} ${KUP_PYTHON} ${KUP_E2E_DIR}/run_case.py
           --kup ${KUP_EXECUTABLE} ${KUP_E2E_DIR}/cases/${case_name}.case)
  # The runner stops a hung run after 20 s; this is only a backstop.
  set_tests_properties(e2e/${case_name} PROPERTIES LABELS e2e TIMEOUT 60)
endforeach()
