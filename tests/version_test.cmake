cmake_minimum_required(VERSION 3.25)
# The version given to project() is the one the program prints and the manual
# page names. Run with -DPROGRAM=<plainwrit> -DVERSION=<x.y> -DMAN_PAGE=<file>.
# LAUNCHER (a list joined with "|", from CMAKE_CROSSCOMPILING_EMULATOR) or the
# environment's PLAINWRIT_EMULATOR is put in front of the program.
set(launcher)
if(DEFINED LAUNCHER AND NOT LAUNCHER STREQUAL "")
  string(REPLACE "|" ";" launcher "${LAUNCHER}")
elseif(DEFINED ENV{PLAINWRIT_EMULATOR} AND NOT "$ENV{PLAINWRIT_EMULATOR}" STREQUAL "")
  separate_arguments(launcher UNIX_COMMAND "$ENV{PLAINWRIT_EMULATOR}")
endif()

execute_process(COMMAND ${launcher} "${PROGRAM}" OUTPUT_VARIABLE out ERROR_QUIET RESULT_VARIABLE code)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\n" ";" banner "${out}")
list(LENGTH banner count)
if(count LESS 2)
  message(FATAL_ERROR "no two-line banner (exit ${code}): '${out}'")
endif()
list(GET banner 1 versionLine)
if(NOT versionLine STREQUAL "Plainwrit Version ${VERSION}")
  message(FATAL_ERROR "the banner says '${versionLine}', the project is version ${VERSION}")
endif()

file(STRINGS "${MAN_PAGE}" titleLine REGEX "^\\.TH ")
if(NOT titleLine MATCHES "\"Plainwrit ${VERSION}\"")
  message(FATAL_ERROR "the manual page's title line '${titleLine}' does not name Plainwrit ${VERSION}")
endif()
file(READ "${MAN_PAGE}" page)
string(FIND "${page}" "Plainwrit Version ${VERSION}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the manual page does not show the banner 'Plainwrit Version ${VERSION}'")
endif()
