# Turns a UTF-8 text with LF line ends (INPUT) into the form of the
# program's own text files, CP932 with CR LF (OUTPUT). A character that
# CP932 does not have fails the build instead of turning into something
# else. ICONV is the iconv program; "@VERSION@" becomes VERSION.
# "@VERSION@" is a text to look for, not a variable reference.
cmake_policy(SET CMP0053 NEW)
file(READ ${INPUT} text)
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT}.utf8 "${text}")
execute_process(COMMAND ${ICONV} -f UTF-8 -t CP932 ${OUTPUT}.utf8
                OUTPUT_FILE ${OUTPUT}.tmp ERROR_VARIABLE failure RESULT_VARIABLE result)
file(REMOVE ${OUTPUT}.utf8)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "${INPUT}: no CP932 form: ${failure}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
