# Run by CPack once the Debian package is built (CPACK_POST_BUILD_SCRIPTS). CPack gives a
# package with shared objects under /usr/lib a postinst and a postrm that run ldconfig; ours
# are plug-ins in the private folder /usr/lib/drawlet, which the dynamic loader never
# searches, so the package is built again without the two scripts. A script that does more
# than run ldconfig stops the build instead of being dropped.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    set(path ${tree}/DEBIAN/${script})
    if(NOT EXISTS ${path})
      continue()
    endif()
    file(READ ${path} text)
    string(REGEX REPLACE
           "#!/bin/sh|set -e|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then|ldconfig|fi|[ \t\n]"
           "" rest "${text}")
    if(NOT rest STREQUAL "")
      message(FATAL_ERROR "The package's ${script} does more than run ldconfig:\n${text}")
    endif()
    file(REMOVE ${path})
  endforeach()
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
