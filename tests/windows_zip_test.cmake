cmake_minimum_required(VERSION 3.25)
# Unpacks the Windows .zip as a user would and checks it: one folder holding
# exactly the program, the library and the texts, a 32-bit Windows program, every text
# with CR LF line ends only, the texts the same as their sources apart from
# the line ends, the manual page as plain text, and the sample's output the
# program's exact output. Run with -DZIP=<package> -DFOLDER=<its one folder>
# -DSOURCE_DIR=<source tree> -DSCRATCH=<empty folder to unpack into>.
get_filename_component(ZIP "${ZIP}" ABSOLUTE)
get_filename_component(SCRATCH "${SCRATCH}" ABSOLUTE)
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${ZIP}" WORKING_DIRECTORY "${SCRATCH}"
                RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "could not unpack ${ZIP}")
endif()

set(texts LICENSE.txt MANUAL.txt README.txt sample.html sample.txt)
set(library libplainwrit.a libplainwrit.dll.a plainwrit.dll plainwrit.h plainwrit_version.h)
set(expected ${texts} ${library} plainwrit.exe)
list(TRANSFORM expected PREPEND "${FOLDER}/")
list(SORT expected)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${SCRATCH}" "${SCRATCH}/*")
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the package holds\n  ${found}\ninstead of\n  ${expected}")
endif()
set(dir "${SCRATCH}/${FOLDER}")

# A PE image for the i386: "MZ", then at the offset in 0x3C "PE\0\0" and the
# machine 0x014C.
file(READ "${dir}/plainwrit.exe" mz LIMIT 2 HEX)
file(READ "${dir}/plainwrit.exe" at LIMIT 4 OFFSET 60 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" at "${at}")
math(EXPR at "${at}")
file(READ "${dir}/plainwrit.exe" pe LIMIT 6 OFFSET ${at} HEX)
if(NOT mz STREQUAL "4d5a" OR NOT pe STREQUAL "504500004c01")
  message(FATAL_ERROR "plainwrit.exe is not a 32-bit Windows program (${mz}, ${pe})")
endif()

string(ASCII 8 backspace)
string(ASCII 27 escape)
# file(READ) as text drops carriage returns, so line ends are checked on the
# bytes, one hex pair and a blank per byte. The program's output ends where
# the page's text ends; the other texts end with a line end.
foreach(text IN LISTS texts)
  file(READ "${dir}/${text}" bytes HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
  string(REPLACE "0d 0a " "" rest "${bytes}")
  if(bytes STREQUAL "" OR rest MATCHES "(^| )0[ad] ")
    message(FATAL_ERROR "${text} is empty or has a line end other than CR LF")
  endif()
  if(NOT text STREQUAL "sample.txt" AND NOT bytes MATCHES "0d 0a $")
    message(FATAL_ERROR "${text} does not end with CR LF")
  endif()
endforeach()

# The texts are their sources; only the line ends differ.
foreach(pair README.txt:README.md LICENSE.txt:LICENSE sample.html:examples/sample.html)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 text)
  list(GET pair 1 source)
  file(READ "${dir}/${text}" content)
  file(READ "${SOURCE_DIR}/${source}" original)
  if(NOT content STREQUAL original)
    message(FATAL_ERROR "${text} differs from ${source} by more than its line ends")
  endif()
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${dir}/sample.txt" "${SOURCE_DIR}/examples/sample.txt"
                RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "sample.txt is not the program's output, examples/sample.txt")
endif()

file(READ "${dir}/MANUAL.txt" manual)
string(FIND "${manual}" "plainwrit - convert one HTML file into a plain-text file" name)
string(FIND "${manual}" "${backspace}" overstrike)
string(FIND "${manual}" "${escape}" terminal_escape)
if(name EQUAL -1 OR NOT overstrike EQUAL -1 OR NOT terminal_escape EQUAL -1)
  message(FATAL_ERROR "MANUAL.txt is not the manual page as plain text")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
