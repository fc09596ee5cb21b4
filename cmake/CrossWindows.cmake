# The Windows build of pixshow, made alongside every native build.
#
# When the MinGW-w64 cross compiler is installed, this source tree is built
# a second time, as an external project, with cmake/mingw-w64.cmake: the
# program's own code against the real Windows SDK headers (windows.h,
# ddraw.h, dinput.h) and import libraries. So the Windows program can never
# silently stop compiling. The result is <build>/windows/pixshow.exe, and
# beside it the artist's tools pixsheet.exe and pixshow-capture.exe: libpng
# compiled from Debian's source package (cmake/LibpngSource.cmake), and for
# the capture the program once more on the portable layer's headless backend
# with the glyph tables of cmake/Glyphs.cmake.
#
# Included from the top-level CMakeLists.txt and from tests/wine; the first
# inclusion defines everything.
include_guard(GLOBAL)

if(WIN32 OR CMAKE_CROSSCOMPILING)
  # Already building for the target: nothing to add.
  return()
endif()

find_program(PIXSHOW_MINGW_CXX NAMES x86_64-w64-mingw32-g++ x86_64-w64-mingw32-g++-posix
  DOC "MinGW-w64 C++ compiler for the Windows cross build")
if(PIXSHOW_MINGW_CXX)
  set(_pixshow_cross_default ON)
else()
  set(_pixshow_cross_default OFF)
endif()
option(PIXSHOW_CROSS_WINDOWS "Also cross-compile pixshow.exe with MinGW-w64" ${_pixshow_cross_default})

set(PIXSHOW_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows CACHE INTERNAL "Build folder of the Windows cross build")
set(PIXSHOW_WINDOWS_EXE ${PIXSHOW_WINDOWS_DIR}/pixshow.exe CACHE INTERNAL "The cross-compiled Windows program")
set(PIXSHOW_WINDOWS_TOOLS "" CACHE INTERNAL "The cross-compiled tools (pixsheet.exe, pixshow-capture.exe)")

if(NOT PIXSHOW_CROSS_WINDOWS)
  return()
endif()
if(NOT PIXSHOW_MINGW_CXX)
  message(FATAL_ERROR "PIXSHOW_CROSS_WINDOWS is ON but x86_64-w64-mingw32-g++ was not found "
    "(Debian/Ubuntu package g++-mingw-w64-x86-64)")
endif()

# The tools need libpng's source, the release of the native libpng-dev,
# which `scripts/deps test` unpacks into the cache folder below.
find_package(PNG)
if(DEFINED ENV{XDG_CACHE_HOME})
  set(_pixshow_cache $ENV{XDG_CACHE_HOME})
else()
  set(_pixshow_cache $ENV{HOME}/.cache)
endif()
set(PIXSHOW_LIBPNG_SOURCE ${_pixshow_cache}/pixshow/libpng-${PNG_VERSION_STRING} CACHE PATH
  "libpng source for the Windows build of the tools (scripts/deps test unpacks it)")
include(${PROJECT_SOURCE_DIR}/cmake/Glyphs.cmake)
set(_pixshow_windows_targets pixshow)
set(_pixshow_windows_args "")
# giflib's source, the release of the native libgif-dev, for the program's
# recordings and pixshow-capture --gif (cmake/GiflibSource.cmake).
find_package(GIF)
set(PIXSHOW_GIFLIB_SOURCE ${_pixshow_cache}/pixshow/giflib-${GIF_VERSION} CACHE PATH
  "giflib source for the Windows and web builds (scripts/deps test unpacks it)")
if(GIF_FOUND AND EXISTS ${PIXSHOW_GIFLIB_SOURCE}/gif_lib.h)
  list(APPEND _pixshow_windows_args -DPIXSHOW_GIFLIB_SOURCE=${PIXSHOW_GIFLIB_SOURCE}
    -DPIXSHOW_GIFLIB_VERSION=${GIF_VERSION})
else()
  message(WARNING "No giflib source in ${PIXSHOW_GIFLIB_SOURCE} (scripts/deps test unpacks it): "
    "the Windows build is made without recordings")
endif()
set(_pixshow_windows_depends "")
if(NOT PNG_FOUND OR NOT EXISTS ${PIXSHOW_LIBPNG_SOURCE}/png.h)
  message(WARNING "No libpng source in ${PIXSHOW_LIBPNG_SOURCE} (scripts/deps test unpacks it): "
    "the Windows zip is made without pixsheet.exe and pixshow-capture.exe")
else()
  list(APPEND _pixshow_windows_targets pixsheet)
  # pixsheet check's table of which image shows where, from the native build.
  list(APPEND _pixshow_windows_args -DPIXSHOW_LIBPNG_SOURCE=${PIXSHOW_LIBPNG_SOURCE}
    -DPIXSHOW_LIBPNG_VERSION=${PNG_VERSION_STRING}
    -DPIXSHOW_ART_TABLE_DIR=${CMAKE_BINARY_DIR}/tools/pixsheet/generated)
  list(APPEND _pixshow_windows_depends pixsheet-art-table)
  if(PIXSHOW_GLYPH_DIR)
    list(APPEND _pixshow_windows_targets pixshow-capture)
    list(APPEND _pixshow_windows_args -DPIXSHOW_GLYPH_DATA_DIR=${PIXSHOW_GLYPH_DIR})
    list(APPEND _pixshow_windows_depends pixshow-glyphs)
  else()
    message(WARNING "No glyph tables (libharfbuzz-dev, libfreetype-dev): the Windows zip is made "
      "without pixshow-capture.exe")
  endif()
endif()
# The programs' icon, made by the native build (cmake/Install.cmake, which
# makes this build wait for it).
list(APPEND _pixshow_windows_args -DPIXSHOW_WINDOWS_ICON=${CMAKE_BINARY_DIR}/packaging/icons/pixshow.ico)
list(TRANSFORM _pixshow_windows_targets APPEND .exe OUTPUT_VARIABLE _pixshow_windows_exes)
list(REMOVE_ITEM _pixshow_windows_exes pixshow.exe)
list(TRANSFORM _pixshow_windows_exes PREPEND ${PIXSHOW_WINDOWS_DIR}/)
set(PIXSHOW_WINDOWS_TOOLS "${_pixshow_windows_exes}" CACHE INTERNAL
  "The cross-compiled tools (pixsheet.exe, pixshow-capture.exe)")

# With make, $(MAKE) shares the outer build's job slots.
if(CMAKE_GENERATOR MATCHES "Make")
  set(_pixshow_windows_build $(MAKE) ${_pixshow_windows_targets})
else()
  set(_pixshow_windows_build ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${_pixshow_windows_targets})
endif()

include(ExternalProject)
ExternalProject_Add(pixshow_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${PIXSHOW_WINDOWS_DIR}
  PREFIX ${CMAKE_BINARY_DIR}/windows-ep
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${PIXSHOW_WINDOWS_DIR}
    -DPIXSHOW_TESTS=OFF
    -DPIXSHOW_WERROR=${PIXSHOW_WERROR}
    ${_pixshow_windows_args}
  BUILD_COMMAND ${_pixshow_windows_build}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  DEPENDS ${_pixshow_windows_depends}
  BUILD_BYPRODUCTS ${PIXSHOW_WINDOWS_EXE} ${PIXSHOW_WINDOWS_TOOLS}
  # Quiet unless something fails; the whole output then follows.
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# The Windows download: pixshow-VERSION-windows.zip, one folder holding the
# program and its tools with the sample art beside it (a double-click plays),
# README.txt and the licences (text files with Windows line ends). Made by the target windows-zip, part of every build.
set(_pixshow_zip_name pixshow-${PROJECT_VERSION}-windows)
set(PIXSHOW_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/${_pixshow_zip_name}.zip CACHE INTERNAL
  "The Windows zip")
set(_pixshow_zip_texts ${CMAKE_BINARY_DIR}/packaging/windows)
configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in ${_pixshow_zip_texts}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${_pixshow_zip_texts}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE.DejaVu ${_pixshow_zip_texts}/LICENSE-DejaVu.txt
  @ONLY NEWLINE_STYLE CRLF)
set(_pixshow_zip_stage ${CMAKE_BINARY_DIR}/packaging/windows-zip)
set(_pixshow_zip_folder ${_pixshow_zip_stage}/${_pixshow_zip_name})
list(TRANSFORM PIXSHOW_SHEET_NAMES PREPEND ${CMAKE_BINARY_DIR}/sample/ OUTPUT_VARIABLE _pixshow_zip_sheets)
set(_pixshow_zip_files ${_pixshow_zip_texts}/README.txt ${_pixshow_zip_texts}/LICENSE.txt
  ${_pixshow_zip_texts}/LICENSE-DejaVu.txt)
# The same bytes at every build of a commit: Info-ZIP's zip with the files in
# order, at the commit's time (in UTC), with fixed modes and without the extra
# fields of owners and times; without zip, CMake's (with the times of the build).
find_program(PIXSHOW_ZIP zip DOC "Info-ZIP's zip, for the Windows zip (scripts/deps test installs it)")
set(_pixshow_zip_entries ${PIXSHOW_WINDOWS_EXE} ${PIXSHOW_WINDOWS_TOOLS} ${_pixshow_zip_files}
  ${_pixshow_zip_sheets})
list(TRANSFORM _pixshow_zip_entries REPLACE ".*/" "${_pixshow_zip_name}/")
list(SORT _pixshow_zip_entries)
# Their modes too are the zip's own, not those the files have here.
set(_pixshow_zip_exes ${PIXSHOW_WINDOWS_EXE} ${PIXSHOW_WINDOWS_TOOLS})
list(TRANSFORM _pixshow_zip_exes REPLACE ".*/" "${_pixshow_zip_name}/")
if(PIXSHOW_ZIP)
  set(_pixshow_zip_pack ${CMAKE_COMMAND} -E env TZ=UTC ${PIXSHOW_ZIP} -X -D -q -9 ${PIXSHOW_WINDOWS_ZIP}
    ${_pixshow_zip_entries})
else()
  message(WARNING "No zip (scripts/deps test installs it): the Windows zip holds the build's times")
  set(_pixshow_zip_pack ${CMAKE_COMMAND} -E tar cf ${PIXSHOW_WINDOWS_ZIP} --format=zip ${_pixshow_zip_entries})
endif()
add_custom_command(OUTPUT ${PIXSHOW_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_pixshow_zip_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_pixshow_zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${PIXSHOW_WINDOWS_EXE} ${PIXSHOW_WINDOWS_TOOLS} ${_pixshow_zip_files}
          ${_pixshow_zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${_pixshow_zip_sheets} ${_pixshow_zip_folder}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PIXSHOW_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_pixshow_zip_stage} chmod 644 ${_pixshow_zip_entries}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_pixshow_zip_stage} chmod 755 ${_pixshow_zip_name} ${_pixshow_zip_exes}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_pixshow_zip_stage} touch -d @${PIXSHOW_SOURCE_DATE_EPOCH}
          ${_pixshow_zip_name} ${_pixshow_zip_entries}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_pixshow_zip_stage} ${_pixshow_zip_pack}
  DEPENDS ${PIXSHOW_WINDOWS_EXE} ${PIXSHOW_WINDOWS_TOOLS} ${_pixshow_zip_files} ${_pixshow_zip_sheets}
  COMMENT "Packing ${_pixshow_zip_name}.zip"
  VERBATIM)
add_custom_target(windows-zip ALL DEPENDS ${PIXSHOW_WINDOWS_ZIP})
add_dependencies(windows-zip pixshow_windows pixshow-sample)
