# Writes INPUT to OUTPUT with CR LF line ends, for Windows users' editors.
# With GROFF set, INPUT is a manual page, rendered as plain text first: no
# bold or underline by overstriking, no terminal escapes.
cmake_minimum_required(VERSION 3.25)
if(DEFINED GROFF)
  execute_process(COMMAND "${GROFF}" -man -Tascii -P-c -P-b -P-u -P-o "${INPUT}"
                  OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE code)
  if(NOT code EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff failed on ${INPUT} (${code}):\n${errors}")
  endif()
  # Older renderers overstrike regardless: drop every "character, backspace".
  string(ASCII 8 backspace)
  string(REGEX REPLACE "[^\n]${backspace}" "" text "${text}")
else()
  file(READ "${INPUT}" text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
