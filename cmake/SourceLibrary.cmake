# A C library compiled here from a Debian source package (libpng, zlib and
# giflib for the Windows and web builds): NAME, a static library of the C files
# named (stems in FOLDER), with FOLDER for its users' includes, known as ALIAS,
# the name the library's find module gives. Not our code: its warnings are not
# ours to fix.
function(pixshow_source_library name alias folder)
  set(sources ${ARGN})
  list(TRANSFORM sources PREPEND ${folder}/)
  list(TRANSFORM sources APPEND .c)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${folder})
  target_compile_options(${name} PRIVATE -w)
  add_library(${alias} ALIAS ${name})
endfunction()
