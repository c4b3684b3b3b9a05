cmake_minimum_required(VERSION 3.25)
# The version given to project() is the one the program prints and the manual
# page names. Run with -DPROGRAM=<plainwrit> -DVERSION=<x.y> -DMAN_PAGE=<file>.
# LAUNCHER (a list joined with "|", from CMAKE_CROSSCOMPILING_EMULATOR) or the
# environment's PLAINWRIT_EMULATOR is put in front of the program.
# With -DWINDOWS_RESOURCES=ON the .exe's version resource and manifest are
# checked too; -DRUN=OFF checks only those (for an .exe that cannot run here).
# The UTF-16 little-endian form of `text`, in hex.
function(utf16_hex text out)
  string(HEX "${text}" ascii)
  string(REGEX REPLACE "(..)" "\\100" wide "${ascii}")
  set(${out} "${wide}" PARENT_SCOPE)
endfunction()

# A 32-bit number in little-endian hex.
function(dword_hex value out)
  math(EXPR value "${value}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${value}" 2 -1 digits)
  string(LENGTH "${digits}" length)
  math(EXPR pad "8 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  set(digits "${zeros}${digits}")
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" le "${digits}")
  set(${out} "${le}" PARENT_SCOPE)
endfunction()

if(WINDOWS_RESOURCES)
  file(READ "${PROGRAM}" exe HEX)
  # The fixed part: its signature and structure version, then the file and
  # the product version as major.minor.patch.tweak, missing parts 0.
  string(REPLACE "." ";" parts "${VERSION}")
  list(APPEND parts 0 0 0 0)
  list(GET parts 0 major)
  list(GET parts 1 minor)
  list(GET parts 2 patch)
  list(GET parts 3 tweak)
  dword_hex("(${major} << 16) | ${minor}" high)
  dword_hex("(${patch} << 16) | ${tweak}" low)
  string(FIND "${exe}" "bd04effe00000100${high}${low}${high}${low}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the version resource does not carry file and product version ${VERSION}")
  endif()
  # The texts: each key, its terminator and padding, then the value.
  foreach(pair "ProductName=Plainwrit" "FileVersion=${VERSION}" "ProductVersion=${VERSION}"
               "FileDescription=Plainwrit HTML to text converter"
               "CompanyName=The Plainwrit developers")
    string(REGEX REPLACE "=.*" "" key "${pair}")
    string(REGEX REPLACE "^[^=]*=" "" value "${pair}")
    utf16_hex("${key}" keyHex)
    utf16_hex("${value}" valueHex)
    if(NOT exe MATCHES "${keyHex}0000(0000)?${valueHex}0000")
      message(FATAL_ERROR "the version resource has no ${key} '${value}'")
    endif()
  endforeach()
  # The manifest is stored as its text.
  foreach(text "<requestedExecutionLevel level=\"asInvoker\""
               ">true</longPathAware>"
               "35138b9a-5d96-4fbd-8e2d-a2440225f93a" "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")
    string(HEX "${text}" textHex)
    string(FIND "${exe}" "${textHex}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the manifest lacks '${text}'")
    endif()
  endforeach()
endif()
if(DEFINED RUN AND NOT RUN)
  return()
endif()

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
