# Run by cpack after it has made a package, so that two builds give the same
# bytes whatever the folder listing order, the umask or the time zone.

# A .deb: cpack gives its three members the modes the umask gave their files;
# `ar D` packs them again, in the same order, as 0:0, mode 644, dated 0.
# cpack writes a postinst and a postrm calling ldconfig into every package
# with a shared library in it; the library's package activates dpkg's ldconfig
# trigger instead, which makes them superfluous (and Debian's policy asks for
# the trigger), so its control archive is packed again without them, sorted,
# as 0:0, dated SOURCE_DATE_EPOCH.
function(drop_ldconfig_calls members)
  set(control "${members}/control")
  file(MAKE_DIRECTORY "${control}")
  execute_process(COMMAND tar -xpzf ../control.tar.gz WORKING_DIRECTORY "${control}"
                  RESULT_VARIABLE unpacked)
  if(NOT unpacked EQUAL 0)
    message(FATAL_ERROR "could not unpack ${members}/control.tar.gz")
  endif()
  if(EXISTS "${control}/triggers")
    file(REMOVE "${control}/postinst" "${control}/postrm" "${members}/control.tar.gz")
    # The folder is packed as well: its mode must not depend on the umask.
    file(CHMOD "${control}" PERMISSIONS
         OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    execute_process(COMMAND tar --sort=name --mtime=@$ENV{SOURCE_DATE_EPOCH} --owner=0 --group=0
                            --numeric-owner --format=gnu -cf ../control.tar .
                    WORKING_DIRECTORY "${control}" RESULT_VARIABLE packed)
    execute_process(COMMAND gzip -9 -n control.tar WORKING_DIRECTORY "${members}"
                    RESULT_VARIABLE compressed)
    if(NOT packed EQUAL 0 OR NOT compressed EQUAL 0)
      message(FATAL_ERROR "could not pack ${members}/control.tar.gz again")
    endif()
  endif()
  file(REMOVE_RECURSE "${control}")
endfunction()

if(CPACK_GENERATOR STREQUAL "DEB")
  set(members "${CPACK_TOPLEVEL_DIRECTORY}/deb-members")
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    file(REMOVE_RECURSE "${members}")
    file(MAKE_DIRECTORY "${members}")
    execute_process(COMMAND "${CPACK_PLAINWRIT_AR}" t "${package}" OUTPUT_VARIABLE names
                    RESULT_VARIABLE listed)
    execute_process(COMMAND "${CPACK_PLAINWRIT_AR}" x "${package}" WORKING_DIRECTORY "${members}"
                    RESULT_VARIABLE unpacked)
    string(STRIP "${names}" names)
    string(REPLACE "\n" ";" names "${names}")
    drop_ldconfig_calls("${members}")
    file(REMOVE "${package}")
    execute_process(COMMAND "${CPACK_PLAINWRIT_AR}" rcD "${package}" ${names}
                    WORKING_DIRECTORY "${members}" RESULT_VARIABLE packed)
    if(NOT listed EQUAL 0 OR NOT unpacked EQUAL 0 OR NOT packed EQUAL 0)
      message(FATAL_ERROR "could not pack ${package} again")
    endif()
  endforeach()
  file(REMOVE_RECURSE "${members}")
  return()
endif()

# A .zip: the files in a fixed order (sorted by name; cpack takes them in the
# order the folder lists them), every file owned by 0:0 and dated
# SOURCE_DATE_EPOCH, with the local times a .zip holds taken in UTC.
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
  return()
endif()
get_filename_component(parent "${CPACK_TEMPORARY_DIRECTORY}" DIRECTORY)
file(GLOB_RECURSE files RELATIVE "${parent}" "${CPACK_TEMPORARY_DIRECTORY}/*")
list(SORT files)
list(JOIN files "\n" listing)
file(WRITE "${parent}/zip-contents.txt" "${listing}\n")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE "${package}")
  execute_process(
    COMMAND "${CPACK_PLAINWRIT_CMAKE}" -E env TZ=UTC0
            "${CPACK_PLAINWRIT_CMAKE}" -E tar cf "${package}" --format=zip "--files-from=${parent}/zip-contents.txt"
    WORKING_DIRECTORY "${parent}" RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "could not pack ${package} again")
  endif()
endforeach()
