# libpng for the Windows build of the tools and the web studio, compiled here from the source
# in PIXSHOW_LIBPNG_SOURCE: Debian's source package libpng1.6 with Debian's
# patches, unpacked by `scripts/deps test`, the same upstream release as the
# native build's libpng-dev (the outer build passes that release as
# PIXSHOW_LIBPNG_VERSION and it is checked against png.h here). zlib is
# Debian's libz-mingw-w64-dev, linked statically. With the same libpng and
# zlib, the Windows tools write the same PNG bytes as the Linux ones.
#
# The configuration is libpng's default one (scripts/pnglibconf.h.prebuilt,
# which is what Debian's build generates too), without the processor-specific
# filter code (it only speeds up reading).
set(_png_src ${PIXSHOW_LIBPNG_SOURCE})
if(NOT EXISTS ${_png_src}/png.h OR NOT EXISTS ${_png_src}/scripts/pnglibconf.h.prebuilt)
  message(FATAL_ERROR "PIXSHOW_LIBPNG_SOURCE=${_png_src} holds no libpng source")
endif()
file(STRINGS ${_png_src}/png.h _png_version_line REGEX "^#define PNG_LIBPNG_VER_STRING ")
string(REGEX MATCH "\"([^\"]+)\"" _png_version_quoted "${_png_version_line}")
set(PNG_VERSION_STRING ${CMAKE_MATCH_1})
if(PIXSHOW_LIBPNG_VERSION AND NOT PNG_VERSION_STRING STREQUAL PIXSHOW_LIBPNG_VERSION)
  message(FATAL_ERROR "${_png_src} is libpng ${PNG_VERSION_STRING}, "
    "not ${PIXSHOW_LIBPNG_VERSION} as the native build's: run scripts/deps test")
endif()

if(NOT TARGET ZLIB::ZLIB)  # the web studio compiles zlib too (cmake/ZlibSource.cmake)
  set(ZLIB_USE_STATIC_LIBS ON)  # no zlib1.dll beside the tools
  find_package(ZLIB REQUIRED)
endif()

set(_png_generated ${CMAKE_BINARY_DIR}/libpng)
configure_file(${_png_src}/scripts/pnglibconf.h.prebuilt ${_png_generated}/pnglibconf.h COPYONLY)
include(${CMAKE_CURRENT_LIST_DIR}/SourceLibrary.cmake)
pixshow_source_library(pixshow_libpng PNG::PNG ${_png_src} png pngerror pngget pngmem pngpread pngread
  pngrio pngrtran pngrutil pngset pngtrans pngwio pngwrite pngwtran pngwutil)
target_include_directories(pixshow_libpng PUBLIC ${_png_generated})
target_compile_definitions(pixshow_libpng PRIVATE PNG_ARM_NEON_OPT=0 PNG_MIPS_MSA_OPT=0
  PNG_POWERPC_VSX_OPT=0 PNG_INTEL_SSE_OPT=0)
target_link_libraries(pixshow_libpng PUBLIC ZLIB::ZLIB)
set(PNG_FOUND TRUE)
message(STATUS "libpng ${PNG_VERSION_STRING} from ${_png_src}")
