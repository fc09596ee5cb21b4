# giflib for the Windows build and the web build, compiled here from the
# source in PIXSHOW_GIFLIB_SOURCE: Debian's source package giflib with
# Debian's patches, unpacked by `scripts/deps test`, the same upstream release
# as the native build's libgif-dev (the outer build passes that release as
# PIXSHOW_GIFLIB_VERSION and it is checked against gif_lib.h here). The native
# Linux build links Debian's libgif-dev itself (find_package(GIF)).
#
# The library is giflib's own (its Makefile's SOURCES), without the utilities;
# it defines GIF::GIF, GIF_FOUND and GIF_VERSION as FindGIF does.
if(TARGET GIF::GIF)
  set(GIF_FOUND TRUE)
  return()
endif()
set(_gif_src ${PIXSHOW_GIFLIB_SOURCE})
if(NOT EXISTS ${_gif_src}/gif_lib.h OR NOT EXISTS ${_gif_src}/egif_lib.c)
  message(FATAL_ERROR "PIXSHOW_GIFLIB_SOURCE=${_gif_src} holds no giflib source")
endif()
file(STRINGS ${_gif_src}/gif_lib.h _gif_version_lines REGEX "^#define GIFLIB_(MAJOR|MINOR|RELEASE) ")
string(REGEX REPLACE ".*GIFLIB_MAJOR ([0-9]+).*GIFLIB_MINOR ([0-9]+).*GIFLIB_RELEASE ([0-9]+).*"
  "\\1.\\2.\\3" GIF_VERSION "${_gif_version_lines}")
if(PIXSHOW_GIFLIB_VERSION AND NOT GIF_VERSION STREQUAL PIXSHOW_GIFLIB_VERSION)
  message(FATAL_ERROR "${_gif_src} is giflib ${GIF_VERSION}, "
    "not ${PIXSHOW_GIFLIB_VERSION} as the native build's: run scripts/deps test")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/SourceLibrary.cmake)
pixshow_source_library(pixshow_giflib GIF::GIF ${_gif_src}
  dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize)
set(GIF_FOUND TRUE)
message(STATUS "giflib ${GIF_VERSION} from ${_gif_src}")
