# Run by cpack on the installed tree before it is packed. A .deb gets what
# Debian's policy asks of every package: the copyright file (which holds the
# licence, so LICENSE itself stays out), the changelog and the manual page
# compressed (gzip -n, so no timestamp inside), the program without the
# compiler's notes. Each package (one component each) is staged in a folder
# of its own, named after the component, and gets its own copies.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(packaging "${CPACK_PLAINWRIT_SOURCE_DIR}/packaging")
set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(folder OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

function(compress input output)
  execute_process(COMMAND gzip -9 -n -c "${input}" OUTPUT_FILE "${output}" RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${input}")
  endif()
  file(CHMOD "${output}" PERMISSIONS ${readable})
endfunction()

function(strip_notes binary)
  execute_process(COMMAND "${CPACK_PLAINWRIT_STRIP}" --remove-section=.comment --remove-section=.note
                          "${binary}" RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${CPACK_PLAINWRIT_STRIP} failed on ${binary}")
  endif()
endfunction()

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}")
  # The program's documentation folder is named after the project, which is
  # also the program's package name.
  set(doc "${root}/share/doc/${package}")

  file(GLOB binaries "${root}/bin/*" "${root}/lib/*.so.*" "${root}/lib/*/*.so.*")
  foreach(binary IN LISTS binaries)
    if(NOT IS_SYMLINK "${binary}")
      strip_notes("${binary}")
    endif()
  endforeach()

  file(REMOVE "${doc}/LICENSE")
  # The shared library's package has no share/ folder of its own: made here,
  # with the modes the install gives folders, whatever the umask.
  file(MAKE_DIRECTORY "${doc}")
  file(CHMOD "${root}/share" "${root}/share/doc" "${doc}" PERMISSIONS ${folder})
  file(COPY "${packaging}/copyright" DESTINATION "${doc}" FILE_PERMISSIONS ${readable})
  compress("${packaging}/changelog" "${doc}/changelog.gz")
  file(GLOB pages "${root}/${CPACK_PLAINWRIT_MANDIR}/man*/*.[1-9]")
  foreach(page IN LISTS pages)
    compress("${page}" "${page}.gz")
    file(REMOVE "${page}")
  endforeach()
endforeach()
