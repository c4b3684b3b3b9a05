# Read by cpack before it makes a package. Every timestamp in the package is
# SOURCE_DATE_EPOCH: given by the caller, or else the time of the last commit.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY "${CPACK_PLAINWRIT_SOURCE_DIR}"
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE code ERROR_QUIET)
  if(code EQUAL 0 AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  else()
    message(WARNING "no SOURCE_DATE_EPOCH and no git history: the package carries today's time")
  endif()
endif()

# Each of the .deb packages has a summary of its own, as the first line of its
# description; cpack would put this one in front of each of them.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
endif()
