# The string table: one UTF-8 source, resources/strings.txt, turned into a
# header of named ids and a source file with the texts; "@VERSION@" in a
# text is the project's version.
set(QUILLMERE_STRINGS_SOURCE ${CMAKE_SOURCE_DIR}/resources/strings.txt)
set(QUILLMERE_STRINGS_DIR ${CMAKE_BINARY_DIR}/generated)
add_custom_command(
  OUTPUT ${QUILLMERE_STRINGS_DIR}/string_ids.h ${QUILLMERE_STRINGS_DIR}/string_table_data.cpp
  COMMAND ${CMAKE_COMMAND} -DINPUT=${QUILLMERE_STRINGS_SOURCE} -DOUTPUT_DIR=${QUILLMERE_STRINGS_DIR}
          -DVERSION=${PROJECT_VERSION}
          -P ${CMAKE_SOURCE_DIR}/cmake/generate_strings.cmake
  DEPENDS ${QUILLMERE_STRINGS_SOURCE} ${CMAKE_SOURCE_DIR}/cmake/generate_strings.cmake
  COMMENT "Generating the string table")
add_custom_target(quillmere_strings DEPENDS
  ${QUILLMERE_STRINGS_DIR}/string_ids.h ${QUILLMERE_STRINGS_DIR}/string_table_data.cpp)
