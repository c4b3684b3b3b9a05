cmake_minimum_required(VERSION 3.25)
# Installs the build into a scratch prefix, as a user would, and checks that
# the tree is complete and that the installed program converts the installed
# example exactly. Run with -DBUILD_DIR, -DPREFIX, -DSOURCE_DIR, -DPROGRAM_NAME
# and the GNUInstallDirs directories BINDIR, MANDIR and DOCDIR.
# LAUNCHER (a list joined with "|", from CMAKE_CROSSCOMPILING_EMULATOR) or the
# environment's PLAINWRIT_EMULATOR is put in front of the program.
set(launcher)
if(DEFINED LAUNCHER AND NOT LAUNCHER STREQUAL "")
  string(REPLACE "|" ";" launcher "${LAUNCHER}")
elseif(DEFINED ENV{PLAINWRIT_EMULATOR} AND NOT "$ENV{PLAINWRIT_EMULATOR}" STREQUAL "")
  separate_arguments(launcher UNIX_COMMAND "$ENV{PLAINWRIT_EMULATOR}")
endif()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE code OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${code}):\n${log}")
endif()

set(program "${PREFIX}/${BINDIR}/${PROGRAM_NAME}")
foreach(file "${program}" "${PREFIX}/${MANDIR}/man1/plainwrit.1" "${PREFIX}/${DOCDIR}/README.md"
             "${PREFIX}/${DOCDIR}/LICENSE"
             "${PREFIX}/${DOCDIR}/sample.html" "${PREFIX}/${DOCDIR}/sample.txt")
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

set(converted "${PREFIX}/converted.txt")
execute_process(COMMAND ${launcher} "${program}" "${PREFIX}/${DOCDIR}/sample.html" "${converted}"
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the installed program failed (${code}):\n${out}${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${converted}"
                        "${SOURCE_DIR}/examples/sample.txt" RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "the installed program's output differs from examples/sample.txt")
endif()
file(REMOVE_RECURSE "${PREFIX}")
