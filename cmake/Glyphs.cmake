# The glyph tables of the portable layer's text where SDL2_ttf is not there:
# the web build and the Windows build of pixshow-capture. pixshow-glyphgen,
# a native tool, makes them from the font the native layer embeds, checked
# against SDL2_ttf, so that text looks the same everywhere.
#
# Defines the target pixshow-glyphs and PIXSHOW_GLYPH_DIR (the folder of
# glyph_data.h), or leaves PIXSHOW_GLYPH_DIR empty when SDL2_ttf, harfbuzz
# or freetype2 are missing. Included from cmake/CrossWeb.cmake and
# cmake/CrossWindows.cmake; the first inclusion defines everything.
include_guard(GLOBAL)

set(PIXSHOW_GLYPH_DIR "" CACHE INTERNAL "Folder of the glyph tables (glyph_data.h)")
find_package(PkgConfig REQUIRED)
pkg_check_modules(PIXSHOW_GLYPHGEN_LIBS IMPORTED_TARGET SDL2_ttf harfbuzz freetype2)
if(NOT PIXSHOW_GLYPHGEN_LIBS_FOUND)
  message(STATUS "harfbuzz or freetype2 not found: no glyph tables (web build, pixshow-capture.exe)")
  return()
endif()
add_executable(pixshow-glyphgen
  ${PROJECT_SOURCE_DIR}/platform/portable/backends/web/glyphgen.cpp
  ${PROJECT_SOURCE_DIR}/platform/portable/backends/web/glyph_layout.cpp)
target_include_directories(pixshow-glyphgen PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(pixshow-glyphgen PRIVATE PkgConfig::PIXSHOW_GLYPHGEN_LIBS)
set(PIXSHOW_GLYPH_DIR ${CMAKE_BINARY_DIR}/web-glyphs CACHE INTERNAL "Folder of the glyph tables (glyph_data.h)")
add_custom_command(OUTPUT ${PIXSHOW_GLYPH_DIR}/glyph_data.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PIXSHOW_GLYPH_DIR}
  COMMAND pixshow-glyphgen ${PXPORT_FONT_FILE} ${PIXSHOW_GLYPH_DIR}/glyph_data.h
  DEPENDS pixshow-glyphgen ${PXPORT_FONT_FILE}
  COMMENT "Making the glyph tables (checked against SDL2_ttf)"
  VERBATIM)
add_custom_target(pixshow-glyphs DEPENDS ${PIXSHOW_GLYPH_DIR}/glyph_data.h)
