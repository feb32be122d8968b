# What `cmake --install` and `cpack -G ZIP` put in the Windows package:
# kup.exe and, beside it, the manual page as plain text with Windows line
# ends, rendered at build time when groff is at hand.
install(TARGETS kup RUNTIME DESTINATION .)
find_program(KUP_GROFF groff)
if(KUP_GROFF)
  set(KUP_MANUAL_TEXT ${PROJECT_BINARY_DIR}/kup.txt)
  add_custom_command(OUTPUT ${KUP_MANUAL_TEXT}
                     COMMAND ${CMAKE_COMMAND} -DGROFF=${KUP_GROFF} -DIN=${PROJECT_SOURCE_DIR}/kup.1
                             -DOUT=${KUP_MANUAL_TEXT} -P ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
                     DEPENDS ${PROJECT_SOURCE_DIR}/kup.1 ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake)
  add_custom_target(kup_manual_text ALL DEPENDS ${KUP_MANUAL_TEXT})
  install(FILES ${KUP_MANUAL_TEXT} DESTINATION .)
endif()
