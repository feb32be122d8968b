# Installs kup.1 with the documentation folder it names (/usr/share/doc/kup,
# where the Debian package puts it) made to follow the prefix installed to,
# compressed when gzip was found. Run at install time, by `cmake --install`
# and by cpack, after the install code has set KUP_MANUAL_SOURCE (kup.1),
# KUP_MANUAL_STAGING (a folder of the build), KUP_DOCDIR, KUP_MANDIR (as
# GNUInstallDirs gives them) and KUP_GZIP.

function(kup_under_prefix dir out)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

kup_under_prefix("${KUP_DOCDIR}" docdir)
kup_under_prefix("${KUP_MANDIR}" mandir)
# In roff a backslash begins an escape, and a blank would end the argument
# of the request that shows the path.
string(REPLACE "\\" "\\e" docdir "${docdir}")
string(REPLACE " " "\\ " docdir "${docdir}")

file(READ "${KUP_MANUAL_SOURCE}" page)
string(REPLACE "/usr/share/doc/kup" "${docdir}" page "${page}")
set(staged "${KUP_MANUAL_STAGING}/kup.1")
file(WRITE "${staged}" "${page}")
if(KUP_GZIP)
  # -n leaves out the name and time, so the bytes are reproducible.
  execute_process(COMMAND "${KUP_GZIP}" -9nf "${staged}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${staged}")
  endif()
  set(staged "${staged}.gz")
endif()
file(INSTALL DESTINATION "${mandir}/man1" TYPE FILE FILES "${staged}")
