# Settings for each CPack generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr/local)
  # Installed through DESTDIR, as the Debian package is, so that the desktop
  # entry names /usr/local and not the folder the package was made in.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
# The commit's time for every timestamp of the Debian package (the .tar.gz is
# made again by ReproducibleTar.cmake).
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_PIXSHOW_SOURCE_DATE_EPOCH})
