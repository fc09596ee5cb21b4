# Install-time part of cmake/Install.cmake: writes the desktop entry for the
# prefix being installed to and installs it. The entry runs the installed
# program on the folders dropped on it (%F), and without one on the
# installed sample art (the program's own choice where no sheets are).
set(_prefix "${CMAKE_INSTALL_PREFIX}")

# One argument of the Exec key: quoted when it holds a reserved character
# (with ", `, $ and \ escaped inside the quotes), % doubled, and every
# backslash doubled again for the desktop file's string syntax.
function(pixshow_exec_argument arg out)
  if(arg MATCHES "[ \t\"'\\><~|&;$*?#()`]")
    string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" arg "${arg}")
    set(arg "\"${arg}\"")
  endif()
  string(REPLACE "%" "%%" arg "${arg}")
  string(REPLACE "\\" "\\\\" arg "${arg}")
  set(${out} "${arg}" PARENT_SCOPE)
endfunction()
pixshow_exec_argument("${_prefix}/${PIXSHOW_BINDIR}/pixshow" _program)
set(PIXSHOW_DESKTOP_EXEC "${_program} %F")

# One working folder per prefix: an install and a package may be made at once.
string(MD5 _key "${_prefix}")
set(_entry ${PIXSHOW_DESKTOP_WORK}/${_key}/pixshow.desktop)
configure_file(${PIXSHOW_DESKTOP_TEMPLATE} ${_entry} @ONLY)
file(INSTALL DESTINATION "${_prefix}/${PIXSHOW_DATADIR}/applications" TYPE FILE FILES ${_entry})
