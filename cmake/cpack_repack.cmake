# Run by cpack after it has made a .zip: packs the same files again in a
# fixed order (sorted by name; cpack takes them in the order the folder lists
# them), every file owned by 0:0 and dated SOURCE_DATE_EPOCH, with the local
# times a .zip holds taken in UTC, so two builds give the same bytes.
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
