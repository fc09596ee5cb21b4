# The six image sheets, read from the program's own table (raster/sheets.h,
# one sheet a line), so that the build names them from the same place:
#   PIXSHOW_SHEET_NAMES   file names, in the table's order
#   ${CMAKE_BINARY_DIR}/sheets.tsv   name, image width, image height, one a line
#                                    (for the scripts of the test suite)
#   PIXSHOW_SHEET_JSON    {"name": [width, height, images drawn], ...} for the web page
include_guard(GLOBAL)
file(STRINGS ${PROJECT_SOURCE_DIR}/raster/sheets.h _pixshow_sheet_lines
  REGEX "^ *\\{\"[^\"]+\", [0-9]+, [0-9]+, [0-9]+\\}")
set(PIXSHOW_SHEET_NAMES)
set(_pixshow_sheet_tsv "")
set(PIXSHOW_SHEET_JSON "")
foreach(line ${_pixshow_sheet_lines})
  string(REGEX MATCH "\\{\"([^\"]+)\", ([0-9]+), ([0-9]+), ([0-9]+)\\}" _ "${line}")
  list(APPEND PIXSHOW_SHEET_NAMES ${CMAKE_MATCH_1})
  string(APPEND _pixshow_sheet_tsv "${CMAKE_MATCH_1}\t${CMAKE_MATCH_2}\t${CMAKE_MATCH_3}\n")
  string(APPEND PIXSHOW_SHEET_JSON
    "\"${CMAKE_MATCH_1}\": [${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}], ")
endforeach()
string(REGEX REPLACE ", $" "}" PIXSHOW_SHEET_JSON "{${PIXSHOW_SHEET_JSON}")
list(LENGTH PIXSHOW_SHEET_NAMES _pixshow_sheet_count)
if(NOT _pixshow_sheet_count EQUAL 6)
  message(FATAL_ERROR "raster/sheets.h: expected six sheets, read ${_pixshow_sheet_count}")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/sheets.tsv CONTENT "${_pixshow_sheet_tsv}")
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/raster/sheets.h)
