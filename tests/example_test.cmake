# Runs an example on INPUT, its output going to OUTPUT, which must equal
# EXPECTED byte for byte. The launcher (LAUNCHER, "|" for ";") runs it,
# when set, e.g. a Python interpreter.
string(REPLACE "|" ";" launcher "${LAUNCHER}")
execute_process(COMMAND ${launcher} "${PROGRAM}" "${INPUT}" OUTPUT_FILE "${OUTPUT}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed: ${result}")
endif()
file(READ "${OUTPUT}" got HEX)
file(READ "${EXPECTED}" want HEX)
if(NOT got STREQUAL want)
  message(FATAL_ERROR "${OUTPUT} differs from ${EXPECTED}")
endif()
