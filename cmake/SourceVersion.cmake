# The commit being built and its time, for --version ("pixshow 0.2.0 (a1b2c3d)")
# and for reproducible builds (SOURCE_DATE_EPOCH: every timestamp the build
# writes). From git in a checkout (and configured again when HEAD moves);
# in a source archive made by `git archive` (target source-archive), from
# cmake/commit.txt, which git fills in there (export-subst, .gitattributes).
#   PIXSHOW_COMMIT             the commit's first 7 hex digits, or "unknown"
#   PIXSHOW_SOURCE_DATE_EPOCH  the commit's time (never the environment's SOURCE_DATE_EPOCH: a
#                              build that CPack starts runs with the one CPack was given)
include_guard(GLOBAL)
set(_pixshow_commit_line "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H\ %ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE _pixshow_commit_line
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # A new commit or another branch changes these files: configure again then.
  execute_process(COMMAND ${GIT_EXECUTABLE} symbolic-ref -q HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE _pixshow_ref
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path HEAD
    --git-path packed-refs --git-path ${_pixshow_ref}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE _pixshow_git_files
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REPLACE "\n" ";" _pixshow_git_files "${_pixshow_git_files}")
  foreach(file ${_pixshow_git_files})
    if(EXISTS ${file} AND NOT IS_DIRECTORY ${file})
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    endif()
  endforeach()
endif()
if(NOT _pixshow_commit_line MATCHES "^[0-9a-f]+ [0-9]+$")
  file(READ ${PROJECT_SOURCE_DIR}/cmake/commit.txt _pixshow_commit_line)
  string(STRIP "${_pixshow_commit_line}" _pixshow_commit_line)
endif()
if(_pixshow_commit_line MATCHES "^([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])[0-9a-f]* ([0-9]+)$")
  set(PIXSHOW_COMMIT ${CMAKE_MATCH_1})
  set(PIXSHOW_SOURCE_DATE_EPOCH ${CMAKE_MATCH_2})
else()
  set(PIXSHOW_COMMIT unknown)
  set(PIXSHOW_SOURCE_DATE_EPOCH 0)
endif()
