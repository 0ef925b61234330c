# Run by CPack after it made the package. CPack adds postinst and postrm scripts that run
# ldconfig whenever a shared object lies under /usr/lib, and the plug-in folder /usr/lib/vst
# is under it. Nothing there is a library the dynamic linker looks up, and a postrm keeps
# the package in dpkg's records after `dpkg -r` (as "config-files") until a purge. So the
# package is rebuilt without the two scripts; its files and their checksums stay as they are.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${deb}")
  endif()
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${tree}" "${deb}"
                  OUTPUT_QUIET RESULT_VARIABLE rc)
  file(REMOVE_RECURSE "${tree}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot repack ${deb}")
  endif()
endforeach()
