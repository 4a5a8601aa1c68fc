# Copies INPUT to OUTPUT byte for byte but for "@VERSION@", which becomes
# VERSION, so that the release is named in one place (the project's version).
# "@VERSION@" is a text to look for, not a variable reference.
cmake_policy(SET CMP0053 NEW)
file(READ ${INPUT} text)
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
file(WRITE ${OUTPUT}.tmp "${text}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
