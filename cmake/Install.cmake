# Installing pixshow and packing it for others.
#
#   cmake --install BUILD [--prefix DIR]     bin/, share/pixshow/sample/, man pages,
#                                            desktop entry, icons, share/doc/pixshow/ (the
#                                            README and what it links to)
#   cmake --build BUILD --target package     pixshow_VERSION-1_ARCH.deb and
#                                            pixshow-VERSION-Linux.tar.gz (CPack)
#   cmake --build BUILD --target windows-zip pixshow-VERSION-windows.zip (with the
#                                            Windows cross build; also built by default)
include_guard(GLOBAL)
include(GNUInstallDirs)
if(WIN32 OR CMAKE_CROSSCOMPILING)
  return()  # installed and packed by the native build (the Windows zip)
endif()

set(PIXSHOW_SAMPLE_DIR ${CMAKE_BINARY_DIR}/sample)
list(TRANSFORM PIXSHOW_SHEET_NAMES PREPEND ${PIXSHOW_SAMPLE_DIR}/ OUTPUT_VARIABLE _pixshow_sample_files)
set(PIXSHOW_MAINTAINER "the pixshow developers <pixshow@example.org>")
set(PIXSHOW_PACKAGE_DIR ${CMAKE_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# --- Programs and sample art ---------------------------------------------------------
install(TARGETS pixshow pixsheet pixshow-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_pixshow_sample_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/pixshow/sample)

# --- Manual pages, from each program's --help --------------------------------------
find_program(PIXSHOW_HELP2MAN help2man REQUIRED DOC "help2man (scripts/deps build installs it)")
find_program(PIXSHOW_GZIP gzip REQUIRED)
set(_pixshow_man_pages)
foreach(page pixshow:6 pixsheet:1:info,export,import,check,palette pixshow-capture:1)
  string(REPLACE ":" ";" page "${page}")
  list(GET page 0 program)
  list(GET page 1 section)
  set(subcommands "")
  list(LENGTH page parts)
  if(parts GREATER 2)
    list(GET page 2 subcommands)
  endif()
  set(out ${PIXSHOW_PACKAGE_DIR}/man/${program}.${section}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PIXSHOW_PACKAGE_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${PIXSHOW_HELP2MAN} -DGZIP=${PIXSHOW_GZIP}
            -DSOURCE_DATE_EPOCH=${PIXSHOW_SOURCE_DATE_EPOCH}
            -DPROGRAM=$<TARGET_FILE:${program}> -DSECTION=${section}
            -DINCLUDE=${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m
            -DSUBCOMMANDS=${subcommands} -DOUTPUT=${out} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
            ${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m
    COMMENT "Writing the manual page ${program}(${section})"
    VERBATIM)
  list(APPEND _pixshow_man_pages ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()

# --- Icons: the first sample portrait, square, in the icon theme's sizes --------------
set(_pixshow_portrait ${PIXSHOW_PACKAGE_DIR}/portrait.png)
set(_pixshow_icons ${PIXSHOW_PACKAGE_DIR}/icons)
set(_pixshow_icon_sizes 48x48 64x64 128x128 256x256 scalable)
set(_pixshow_icon_files)
foreach(size ${_pixshow_icon_sizes})
  set(_file ${_pixshow_icons}/${size}/pixshow.png)
  if(size STREQUAL "scalable")
    set(_file ${_pixshow_icons}/${size}/pixshow.svg)
  endif()
  list(APPEND _pixshow_icon_files ${_file})
  install(FILES ${_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
# pixshow.ico beside them is the Windows programs' (cmake/CrossWindows.cmake).
add_custom_command(OUTPUT ${_pixshow_icon_files} ${_pixshow_icons}/pixshow.ico
  COMMAND pixsheet export ${PIXSHOW_SAMPLE_DIR}/ports.pix --image 0 -o ${_pixshow_portrait}
  COMMAND pixshow-icongen ${_pixshow_portrait} ${_pixshow_icons}
  DEPENDS pixsheet pixshow-icongen ${PIXSHOW_SAMPLE_DIR}/ports.pix
  COMMENT "Making the icons from the first sample portrait"
  VERBATIM)
add_custom_target(pixshow-icons DEPENDS ${_pixshow_icon_files} ${_pixshow_icons}/pixshow.ico)
add_dependencies(pixshow-icons pixshow-sample)  # the portrait's sheet is the sample target's output
if(TARGET pixshow_windows)
  add_dependencies(pixshow_windows pixshow-icons)
endif()
add_custom_target(pixshow-install-files ALL DEPENDS ${_pixshow_man_pages})
add_dependencies(pixshow-install-files pixshow-icons)

# --- Desktop entry: plays the installed sample art ------------------------------------
# Written at install time, so that it names the prefix actually installed to
# (cmake --install --prefix, or the package's /usr).
install(CODE "
  set(PIXSHOW_DESKTOP_TEMPLATE ${PROJECT_SOURCE_DIR}/packaging/pixshow.desktop.in)
  set(PIXSHOW_DESKTOP_WORK ${PIXSHOW_PACKAGE_DIR}/desktop)
  set(PIXSHOW_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(PIXSHOW_DATADIR ${CMAKE_INSTALL_DATADIR})
  include(${PROJECT_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake)")

# --- Documentation and licences -------------------------------------------------------
# copyright is Debian's name for the licence file; it holds both licences.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _pixshow_license)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE.DejaVu _pixshow_license_dejavu)
file(CONFIGURE OUTPUT ${PIXSHOW_PACKAGE_DIR}/copyright CONTENT
  "pixshow ${PROJECT_VERSION}, by the pixshow developers.

The programs are under the MIT licence:

${_pixshow_license}

pixshow and pixshow-capture link libpng and giflib (MIT, for F9 and --gif);
pixshow-capture also FFmpeg's libraries for --video. Debian builds FFmpeg with --enable-gpl (and links
x264, GPL 2 or later), so those libraries, and pixshow-capture with them,
are under the GNU General Public License, version 2 or later
(/usr/share/common-licenses/GPL-2); pixshow's own code stays MIT.

${_pixshow_license_dejavu}")
configure_file(packaging/changelog.Debian.in ${PIXSHOW_PACKAGE_DIR}/changelog.Debian @ONLY)
set(_pixshow_changelog ${PIXSHOW_PACKAGE_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${_pixshow_changelog}
  COMMAND ${PIXSHOW_GZIP} -9 -n -f -k ${PIXSHOW_PACKAGE_DIR}/changelog.Debian
  DEPENDS ${PIXSHOW_PACKAGE_DIR}/changelog.Debian
  VERBATIM)
add_custom_target(pixshow-changelog ALL DEPENDS ${_pixshow_changelog})
install(FILES README.md HACKING.md CHANGELOG.md LICENSE LICENSE.DejaVu ${PIXSHOW_PACKAGE_DIR}/copyright
  ${_pixshow_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What the README links to, where it links to it.
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES platform/portable/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/platform/portable)

# --- Packages: Debian and .tar.gz ------------------------------------------------------
set(CPACK_PACKAGE_NAME pixshow)
set(CPACK_PACKAGE_VENDOR "the pixshow developers")
set(CPACK_PACKAGE_CONTACT "${PIXSHOW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen presentation of a strategy game's artwork")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME pixshow-${PROJECT_VERSION}-Linux)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
string(REGEX REPLACE ".*-" "" CPACK_DEBIAN_PACKAGE_RELEASE ${PIXSHOW_DEBIAN_VERSION})
# Not "games": Debian keeps that section for programs in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The title bar and close button of the window on Wayland compositors that
# leave them to their clients: SDL draws them through libdecor's plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libdecor-0-plugin-1-cairo)
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "pixshow plays a fixed presentation of eight screens: character portraits, a
palette trick, stat icons, a staggered battle map in four seasons, pieces
with numbers and a blinking turn marker. Every picture comes from a headerless
8-bit image sheet, drawn into a 640 x 480, 256-colour display.

It is a Windows program (DirectDraw 7, DirectInput 7, GDI) that runs here on
a small platform layer of its own over SDL2. The package brings sample art,
pixsheet to turn image sheets into PNG and back, and pixshow-capture to record
the presentation's screens as PNG without a display.")
# The Debian package installs under /usr, the .tar.gz mirrors an install to
# /usr/local (unpack it with tar -C /). Both are the same bytes at every build of
# a commit: the commit's time in them, files sorted, owned by root.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackOptions.cmake)
set(CPACK_PIXSHOW_SOURCE_DATE_EPOCH ${PIXSHOW_SOURCE_DATE_EPOCH})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ReproducibleTar.cmake)
# The source archive: the commit's files as git archives them, with the commit
# in cmake/commit.txt (export-subst), for --version of a build without git.
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  add_custom_target(source-archive
    COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} archive --format=tar.gz
            --prefix=pixshow-${PROJECT_VERSION}/ -o ${CMAKE_BINARY_DIR}/pixshow-${PROJECT_VERSION}.tar.gz HEAD
    COMMENT "Packing pixshow-${PROJECT_VERSION}.tar.gz from the commit's files"
    VERBATIM)
endif()
include(CPack)
