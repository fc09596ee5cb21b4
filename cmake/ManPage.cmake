# Writes one compressed manual page from a program's own --help and
# --version (help2man), so that the page always says what the program says.
#   cmake -DHELP2MAN=... -DGZIP=... -DPROGRAM=... -DSECTION=1 -DINCLUDE=x.h2m
#         [-DSUBCOMMANDS=a,b,c] -DOUTPUT=x.1.gz -P ManPage.cmake
# SUBCOMMANDS: commands whose `PROGRAM COMMAND --help` is added to the page,
# each as a section of its own.
cmake_minimum_required(VERSION 3.25)
foreach(var HELP2MAN GZIP PROGRAM SECTION INCLUDE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake: ${var} is not set")
  endif()
endforeach()

get_filename_component(name ${PROGRAM} NAME)
set(work ${OUTPUT}.work)
file(READ ${INCLUDE} include_text)
if(SUBCOMMANDS)
  string(REPLACE "," ";" SUBCOMMANDS "${SUBCOMMANDS}")
  foreach(command ${SUBCOMMANDS})
    execute_process(COMMAND ${PROGRAM} ${command} --help
      OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${name} ${command} --help ended with status ${status}")
    endif()
    # Shown as written: backslashes and line-leading dots and quotes escaped.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(TOUPPER "${command}" title)
    string(APPEND include_text "\n[COMMAND ${title}]\n.nf\n${help}.fi\n")
  endforeach()
endif()
file(WRITE ${work}.h2m "${include_text}")

# The date in the page is the commit's (help2man reads SOURCE_DATE_EPOCH).
if(DEFINED SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${SOURCE_DATE_EPOCH})
endif()
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=${SECTION}
          --include=${work}.h2m --output=${work} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${name} (status ${status})")
endif()
# The synopsis says how the program is called: not the help's usage line again.
file(READ ${work} page)
# A usage of several lines goes on in indented lines that help2man makes paragraphs of.
string(REGEX REPLACE "(\n\\.SH DESCRIPTION\n)[Uu]sage: [^\n]*\n(\\.[IT]P\n(\\[[^\n]*\n)+)*(\\.PP\n)?" "\\1"
  page "${page}")
file(WRITE ${work} "${page}")
execute_process(COMMAND ${GZIP} -9 -n -c ${work} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${OUTPUT}")
endif()
file(REMOVE ${work} ${work}.h2m)
