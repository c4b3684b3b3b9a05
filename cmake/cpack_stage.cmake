# Run by cpack on the installed tree before it is packed. A .deb gets what
# Debian's policy asks of every package: the copyright file (which holds the
# licence, so LICENSE itself stays out), the changelog and the manual page
# compressed (gzip -n, so no timestamp inside), the program without the
# compiler's notes.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/${CPACK_PLAINWRIT_DOCDIR}")
set(packaging "${CPACK_PLAINWRIT_SOURCE_DIR}/packaging")
set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

function(compress input output)
  execute_process(COMMAND gzip -9 -n -c "${input}" OUTPUT_FILE "${output}" RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${input}")
  endif()
  file(CHMOD "${output}" PERMISSIONS ${readable})
endfunction()

file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_PLAINWRIT_STRIP}" --remove-section=.comment --remove-section=.note
                          "${program}" RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${CPACK_PLAINWRIT_STRIP} failed on ${program}")
  endif()
endforeach()

file(REMOVE "${doc}/LICENSE")
file(COPY "${packaging}/copyright" DESTINATION "${doc}" FILE_PERMISSIONS ${readable})
compress("${packaging}/changelog" "${doc}/changelog.gz")
file(GLOB pages "${root}/${CPACK_PLAINWRIT_MANDIR}/man*/*.[1-9]")
foreach(page IN LISTS pages)
  compress("${page}" "${page}.gz")
  file(REMOVE "${page}")
endforeach()
