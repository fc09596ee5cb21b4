# Toolchain file: cross-compile pixshow for 64-bit Windows with MinGW-w64
# (Debian/Ubuntu package g++-mingw-w64-x86-64).
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# The executables link the C and C++ runtimes statically, so they need
# nothing beyond the DLLs that every Windows installation has (kernel32,
# user32, gdi32, ddraw, dinput, msvcrt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PIXSHOW_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Target triple of the MinGW-w64 compilers")

# Debian installs two thread models; prefer the "-posix" compilers when the
# plain names are absent, as the plain names are managed by update-alternatives.
find_program(CMAKE_C_COMPILER NAMES ${PIXSHOW_MINGW_PREFIX}-gcc ${PIXSHOW_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PIXSHOW_MINGW_PREFIX}-g++ ${PIXSHOW_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PIXSHOW_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PIXSHOW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc_s, libstdc++ or libwinpthread DLLs next to the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release executables without their symbols: the zip stays small.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
