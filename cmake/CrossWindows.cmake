# The Windows build of pixshow, made alongside every native build.
#
# When the MinGW-w64 cross compiler is installed, this source tree is built
# a second time, as an external project, with cmake/mingw-w64.cmake: the
# program's own code against the real Windows SDK headers (windows.h,
# ddraw.h, dinput.h) and import libraries. So the Windows program can never
# silently stop compiling. The result is <build>/windows/pixshow.exe.
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

if(NOT PIXSHOW_CROSS_WINDOWS)
  return()
endif()
if(NOT PIXSHOW_MINGW_CXX)
  message(FATAL_ERROR "PIXSHOW_CROSS_WINDOWS is ON but x86_64-w64-mingw32-g++ was not found "
    "(Debian/Ubuntu package g++-mingw-w64-x86-64)")
endif()

# Only the program: the tools stand on the portable layer, which is not part
# of a Windows build. With make, $(MAKE) shares the outer build's job slots.
if(CMAKE_GENERATOR MATCHES "Make")
  set(_pixshow_windows_build $(MAKE) pixshow)
else()
  set(_pixshow_windows_build ${CMAKE_COMMAND} --build <BINARY_DIR> --target pixshow)
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
  BUILD_COMMAND ${_pixshow_windows_build}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${PIXSHOW_WINDOWS_EXE}
  # Quiet unless something fails; the whole output then follows.
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# The Windows download: pixshow-VERSION-windows.zip, one folder holding the
# program with the sample art beside it (a double-click plays), README.txt and the licences (text files with
# Windows line ends). Made by the target windows-zip, part of every build.
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
add_custom_command(OUTPUT ${PIXSHOW_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_pixshow_zip_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_pixshow_zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${PIXSHOW_WINDOWS_EXE} ${_pixshow_zip_files} ${_pixshow_zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${_pixshow_zip_sheets} ${_pixshow_zip_folder}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PIXSHOW_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_pixshow_zip_stage}
          ${CMAKE_COMMAND} -E tar cf ${PIXSHOW_WINDOWS_ZIP} --format=zip ${_pixshow_zip_name}
  DEPENDS ${PIXSHOW_WINDOWS_EXE} ${_pixshow_zip_files} ${_pixshow_zip_sheets}
  COMMENT "Packing ${_pixshow_zip_name}.zip"
  VERBATIM)
add_custom_target(windows-zip ALL DEPENDS ${PIXSHOW_WINDOWS_ZIP})
add_dependencies(windows-zip pixshow_windows pixshow-sample)
