# zlib for the web studio, compiled here from the source in
# PIXSHOW_ZLIB_SOURCE: Debian's source package zlib, unpacked by
# `scripts/deps test`, the same upstream release as the native build's
# zlib1g (the outer build passes that release as PIXSHOW_ZLIB_VERSION and it
# is checked against zlib.h here). With the same zlib and libpng, the studio
# writes the same PNG bytes as the native pixsheet.
set(_zlib_src ${PIXSHOW_ZLIB_SOURCE})
if(NOT EXISTS ${_zlib_src}/zlib.h OR NOT EXISTS ${_zlib_src}/zconf.h)
  message(FATAL_ERROR "PIXSHOW_ZLIB_SOURCE=${_zlib_src} holds no zlib source")
endif()
file(STRINGS ${_zlib_src}/zlib.h _zlib_version_line REGEX "^#define ZLIB_VERSION ")
string(REGEX MATCH "\"([^\"]+)\"" _zlib_version_quoted "${_zlib_version_line}")
if(PIXSHOW_ZLIB_VERSION AND NOT CMAKE_MATCH_1 STREQUAL PIXSHOW_ZLIB_VERSION)
  message(FATAL_ERROR "${_zlib_src} is zlib ${CMAKE_MATCH_1}, "
    "not ${PIXSHOW_ZLIB_VERSION} as the native build's: run scripts/deps test")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/SourceLibrary.cmake)
pixshow_source_library(pixshow_zlib ZLIB::ZLIB ${_zlib_src}
  adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil)
set(ZLIB_FOUND TRUE)
