# After CPack (CPACK_POST_BUILD_SCRIPTS): each .tar.gz made again with GNU tar
# from what CPack packed, so that it is the same bytes at every build of a
# commit: entries sorted by name, the commit's time, owned by root, and no
# time in the gzip header. (CPack's own archive takes each file's time, its
# owner and the folder's order, and the gzip header the time it was made.)
foreach(package ${CPACK_PACKAGE_FILES})
  if(NOT package MATCHES "\\.tar\\.gz$")
    continue()
  endif()
  set(unpacked ${package}.unpacked)
  file(REMOVE_RECURSE ${unpacked})
  file(MAKE_DIRECTORY ${unpacked})
  execute_process(COMMAND tar -xpf ${package} -C ${unpacked} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB entries RELATIVE ${unpacked} ${unpacked}/*)
  list(SORT entries)
  execute_process(
    COMMAND tar -C ${unpacked} --sort=name --mtime=@${CPACK_PIXSHOW_SOURCE_DATE_EPOCH} --owner=0
            --group=0 --numeric-owner --format=gnu -cf - ${entries}
    COMMAND gzip -9 -n
    OUTPUT_FILE ${package} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${unpacked})
endforeach()
