# Run by CTest before it runs or lists the tests: adds the tests of each
# folder of tests/e2e/cases, which run every case file of the folder
# through run_case.py, several at a time; the output names each case that
# failed. e2e/<group> runs kup as it is, with the fastest way of
# classifying characters the machine has; e2e/<group>/<way> forces each
# way with KUP_SIMD, and is skipped (status 77, the runner says why) where
# the machine lacks it. Needs KUP_PYTHON, KUP_EXECUTABLE and KUP_E2E_DIR.
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
  foreach(way scalar ssse3 avx2)
    add_test(e2e/${group}/${way} ${KUP_PYTHON} ${KUP_E2E_DIR}/run_case.py
             --kup ${KUP_EXECUTABLE} --env KUP_SIMD=${way} -j2 ${KUP_E2E_DIR}/cases/${group})
    set_tests_properties(e2e/${group}/${way} PROPERTIES LABELS e2e TIMEOUT 300 SKIP_RETURN_CODE 77)
  endforeach()
endforeach()
