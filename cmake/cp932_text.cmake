# Turns a UTF-8 text with LF line ends (INPUT) into the form of the
# program's own text files, CP932 with CR LF (OUTPUT). A character that
# CP932 does not have fails the build instead of turning into something
# else. ICONV is the iconv program.
file(READ ${INPUT} text)
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
