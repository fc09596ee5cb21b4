# The web build of pixshow, made alongside every native build when
# Emscripten (Debian's emscripten) is installed.
#
# The same program, unchanged, built a second time as an external project
# with Emscripten, on the portable layer's web backend (platform/portable/web).
# Nothing is downloaded: no Emscripten ports; the text comes from glyph
# tables that pixshow-glyphgen, a native tool built here, makes from the
# font with SDL2_ttf. The result is <build>/web/: index.html, page.js,
# pixshow.js, pixshow.wasm and the sample sheets in sample/.
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
if(CMAKE_GENERATOR MATCHES "Make")
  set(_pixshow_web_build $(MAKE) pixshow)
else()
  set(_pixshow_web_build ${CMAKE_COMMAND} --build <BINARY_DIR> --target pixshow)
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
  LIST_SEPARATOR |
  BUILD_COMMAND ${_pixshow_web_build}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  DEPENDS pixshow-glyphs
  BUILD_BYPRODUCTS ${PIXSHOW_WEB_DIR}/pixshow.js ${PIXSHOW_WEB_DIR}/pixshow.wasm
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# The page, with the program's table of sheets (names, image sizes and how
# many images the presentation draws, from raster/sheets.h through
# cmake/Sheets.cmake) for checking and reading the visitor's own.
configure_file(${PROJECT_SOURCE_DIR}/platform/portable/backends/web/page.js ${PIXSHOW_WEB_DIR}/page.js @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/platform/portable/backends/web/index.html ${PIXSHOW_WEB_DIR}/index.html COPYONLY)

# The sample art next to the page.
if(TARGET pixshow-sample)
  add_custom_target(pixshow-web-sample ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_BINARY_DIR}/sample ${PIXSHOW_WEB_DIR}/sample
    DEPENDS pixshow-sample
    COMMENT "Copying the sample art to the web page"
    VERBATIM)
endif()
