# Renders the manual page as plain text with Windows line ends, for the
# Windows ZIP package, which has no manual page reader:
#   cmake -DGROFF=groff -DIN=kup.1 -DOUT=kup.txt -P render_manual.cmake
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${IN}
                OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff could not render ${IN}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
