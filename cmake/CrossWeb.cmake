# The web build of pixshow, made alongside every native build when
# Emscripten (Debian's emscripten) is installed.
#
# The same program, unchanged, built a second time as an external project
# with Emscripten, on the portable layer's web backend (platform/portable/web).
# Nothing is downloaded: no Emscripten ports; the text comes from glyph
# tables that pixshow-glyphgen, a native tool built here, makes from the
# font with SDL2_ttf. The result is <build>/web/: index.html, page.js,
# pixshow.js, pixshow.wasm, the studio's pixstudio.js and pixstudio.wasm (tools/studio)
# and the sample sheets in sample/.
#
# Included from the top-level CMakeLists.txt and from tests/platform/web; the first
# inclusion defines everything.
include_guard(GLOBAL)

if(WIN32 OR CMAKE_CROSSCOMPILING)
  return()
endif()

set(PIXSHOW_WEB_DIR ${CMAKE_BINARY_DIR}/web CACHE INTERNAL "Folder of the web build's page")
find_program(PIXSHOW_EMCC emcc DOC "Emscripten compiler for the web build")
if(PIXSHOW_EMCC)
  get_filename_component(_pixshow_emcc_real ${PIXSHOW_EMCC} REALPATH)
  get_filename_component(_pixshow_emcc_dir ${_pixshow_emcc_real} DIRECTORY)
  find_file(PIXSHOW_EMSCRIPTEN_TOOLCHAIN Emscripten.cmake
    PATHS ${_pixshow_emcc_dir}/cmake/Modules/Platform /usr/share/emscripten/cmake/Modules/Platform
    NO_DEFAULT_PATH)
endif()
if(NOT PIXSHOW_EMCC OR NOT PIXSHOW_EMSCRIPTEN_TOOLCHAIN)
  set(PIXSHOW_WEB OFF CACHE INTERNAL "Whether the web build is made")
  message(STATUS "Emscripten (emcc) not found: no web build")
  return()
endif()
set(PIXSHOW_WEB ON CACHE INTERNAL "Whether the web build is made")

# The glyph tables, from the font the native layer embeds.
include(${PROJECT_SOURCE_DIR}/cmake/Glyphs.cmake)
if(NOT PIXSHOW_GLYPH_DIR)
  message(FATAL_ERROR "The web build needs the glyph tables: install libharfbuzz-dev and libfreetype-dev")
endif()
set(_pixshow_glyph_dir ${PIXSHOW_GLYPH_DIR})

# Debian's Emscripten finds its JavaScript modules (acorn) only through
# NODE_PATH when the Node.js in use is not Debian's own: set for the
# configure step and for every link.
set(_pixshow_emenv ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
string(REPLACE ";" "|" _pixshow_emenv_list "${_pixshow_emenv}")

# The studio (tools/studio): pixsheet's code for the web, with libpng and zlib
# compiled from Debian's sources (`scripts/deps test` unpacks them), the
# releases the native build's libpng-dev and zlib1g are, and pixsheet's table
# of which image shows where from the native build.
find_package(PNG)
find_package(ZLIB)
if(DEFINED ENV{XDG_CACHE_HOME})
  set(_pixshow_cache $ENV{XDG_CACHE_HOME}/pixshow)
else()
  set(_pixshow_cache $ENV{HOME}/.cache/pixshow)
endif()
set(_pixshow_web_targets pixshow)
set(_pixshow_web_args "")
set(_pixshow_web_depends pixshow-glyphs)
set(_png_source ${_pixshow_cache}/libpng-${PNG_VERSION_STRING})
set(_zlib_source ${_pixshow_cache}/zlib-${ZLIB_VERSION_STRING})
if(PNG_FOUND AND ZLIB_FOUND AND EXISTS ${_png_source}/png.h AND EXISTS ${_zlib_source}/zlib.h
   AND TARGET pixsheet-art-table)
  set(PIXSHOW_WEB_STUDIO ON CACHE INTERNAL "Whether the web page has its studio")
  list(APPEND _pixshow_web_targets pixstudio)
  list(APPEND _pixshow_web_args -DPIXSHOW_LIBPNG_SOURCE=${_png_source}
    -DPIXSHOW_LIBPNG_VERSION=${PNG_VERSION_STRING} -DPIXSHOW_ZLIB_SOURCE=${_zlib_source}
    -DPIXSHOW_ZLIB_VERSION=${ZLIB_VERSION_STRING}
    -DPIXSHOW_ART_TABLE_DIR=${CMAKE_BINARY_DIR}/tools/pixsheet/generated)
  list(APPEND _pixshow_web_depends pixsheet-art-table)
else()
  set(PIXSHOW_WEB_STUDIO OFF CACHE INTERNAL "Whether the web page has its studio")
  message(WARNING "No libpng or zlib source in ${_pixshow_cache} (scripts/deps test unpacks them): "
    "the web page is made without its studio")
endif()
# giflib from Debian's source, the release of the native libgif-dev: GIF::GIF
# for whatever the web build records (cmake/GiflibSource.cmake).
find_package(GIF)
set(_gif_source ${_pixshow_cache}/giflib-${GIF_VERSION})
# The page's recorder (tools/recorder) with it: pixshow-capture's GIF, and the
# program's screenshots compressed as the native program's, with the studio's
# libpng and zlib.
set(PIXSHOW_WEB_RECORDER OFF CACHE INTERNAL "Whether the web page makes GIFs and compressed screenshots")
if(GIF_FOUND AND EXISTS ${_gif_source}/gif_lib.h)
  list(APPEND _pixshow_web_args -DPIXSHOW_GIFLIB_SOURCE=${_gif_source}
    -DPIXSHOW_GIFLIB_VERSION=${GIF_VERSION})
  if(PIXSHOW_WEB_STUDIO)
    set(PIXSHOW_WEB_RECORDER ON CACHE INTERNAL "Whether the web page makes GIFs and compressed screenshots")
    list(APPEND _pixshow_web_targets pixrecord)
  endif()
else()
  message(WARNING "No giflib source in ${_gif_source} (scripts/deps test unpacks it): "
    "the web page is made without recordings")
endif()
if(CMAKE_GENERATOR MATCHES "Make")
  set(_pixshow_web_build $(MAKE) ${_pixshow_web_targets})
else()
  set(_pixshow_web_build ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${_pixshow_web_targets})
endif()

include(ExternalProject)
ExternalProject_Add(pixshow_web
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/web-build
  PREFIX ${CMAKE_BINARY_DIR}/web-ep
  CONFIGURE_COMMAND ${_pixshow_emenv} ${CMAKE_COMMAND} -G ${CMAKE_GENERATOR} -S <SOURCE_DIR> -B <BINARY_DIR>
    -DCMAKE_TOOLCHAIN_FILE=${PIXSHOW_EMSCRIPTEN_TOOLCHAIN}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_LINKER_LAUNCHER=${_pixshow_emenv_list}
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${PIXSHOW_WEB_DIR}
    -DPIXSHOW_TESTS=OFF
    -DPIXSHOW_WERROR=${PIXSHOW_WERROR}
    -DPIXSHOW_GLYPH_DATA_DIR=${_pixshow_glyph_dir}
    ${_pixshow_web_args}
  LIST_SEPARATOR |
  BUILD_COMMAND ${_pixshow_web_build}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  DEPENDS ${_pixshow_web_depends}
  BUILD_BYPRODUCTS ${PIXSHOW_WEB_DIR}/pixshow.js ${PIXSHOW_WEB_DIR}/pixshow.wasm
    ${PIXSHOW_WEB_DIR}/pixstudio.js ${PIXSHOW_WEB_DIR}/pixstudio.wasm
    ${PIXSHOW_WEB_DIR}/pixrecord.js ${PIXSHOW_WEB_DIR}/pixrecord.wasm
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# The page, with the program's table of sheets (names, image sizes and how
# many images the presentation draws, from raster/sheets.h through
# cmake/Sheets.cmake) for checking and reading the visitor's own.
configure_file(${PROJECT_SOURCE_DIR}/platform/portable/backends/web/page.js ${PIXSHOW_WEB_DIR}/page.js @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/platform/portable/backends/web/index.html ${PIXSHOW_WEB_DIR}/index.html COPYONLY)

# What draws each pixel of each hold, for the studio's pointing: learnt by
# playing the program over coded sheets (pixshow-artmap --inspect).
# (pixshow-web-art does nothing when the page has no studio.)
if(PIXSHOW_WEB_STUDIO AND TARGET pixshow-artmap)
  add_custom_command(OUTPUT ${PIXSHOW_WEB_DIR}/pixstudio-art.bin
    COMMAND pixshow-artmap --inspect ${PIXSHOW_WEB_DIR}/pixstudio-art.bin
    DEPENDS pixshow-artmap
    COMMENT "Playing the presentation over coded sheets: what draws each pixel"
    VERBATIM)
  add_custom_target(pixshow-web-art ALL DEPENDS ${PIXSHOW_WEB_DIR}/pixstudio-art.bin)
else()
  add_custom_target(pixshow-web-art)
endif()

# The sample art next to the page.
if(TARGET pixshow-sample)
  add_custom_target(pixshow-web-sample ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_BINARY_DIR}/sample ${PIXSHOW_WEB_DIR}/sample
    DEPENDS pixshow-sample
    COMMENT "Copying the sample art to the web page"
    VERBATIM)
endif()
