# Run by CTest before it runs or lists the tests: adds one test per folder
# of tests/e2e/cases, e2e/<group>, which runs every case file of the
# folder through run_case.py, several at a time; its output names each
# case that failed. Needs KUP_PYTHON, KUP_EXECUTABLE and KUP_E2E_DIR.
file(GLOB groups LIST_DIRECTORIES true RELATIVE ${KUP_E2E_DIR}/cases
     ${KUP_E2E_DIR}/cases/*)
foreach(group IN LISTS groups)
  if(NOT IS_DIRECTORY ${KUP_E2E_DIR}/cases/${group})
    continue()
  endif()
  add_test(e2e/${group} ${KUP_PYTHON} ${KUP_E2E_DIR}/run_case.py
           --kup ${KUP_EXECUTABLE} -j2 ${KUP_E2E_DIR}/cases/${group})
  # The runner stops a hung run after 20 s; this is only a backstop.
  set_tests_properties(e2e/${group} PROPERTIES LABELS e2e TIMEOUT 300)
endforeach()
