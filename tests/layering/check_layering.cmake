# Compiles one line of C++ within a layer's include directory and says whether
# that worked.
function(compile_within layer include_line result)
  set(probe ${PROBE_DIR}/probe_${layer}.cpp)
  file(WRITE ${probe} "${include_line}\nint main() { return 0; }\n")
  execute_process(COMMAND ${COMPILER} -std=c++20 -fsyntax-only -I${LAYERS}/${layer} -I${GENERATED} ${probe}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${result} ${status} PARENT_SCOPE)
  set(compiler_output "${output}" PARENT_SCOPE)
endfunction()

# Each pair: a layer, a header of a folder above it.
set(refused
  "base|platform/text_file.h"
  "platform|text/base64.h"
  "text|message/header_fields.h"
  "message|store/mailbox_layout.h"
  "config|net/connection.h"
  "net|store/outbox.h"
  "store|navigator/command_states.h")
foreach(pair IN LISTS refused)
  string(REPLACE "|" ";" parts "${pair}")
  list(GET parts 0 layer)
  list(GET parts 1 header)
  compile_within(${layer} "#include \"${header}\"" status)
  if(status EQUAL 0)
    message(FATAL_ERROR "${layer}/ could include ${header}, a header of an upper folder")
  endif()
  if(NOT compiler_output MATCHES "${header}(: No such file or directory|. file not found)")
    message(FATAL_ERROR "${layer}/ including ${header} failed for another reason:\n${compiler_output}")
  endif()
endforeach()

# The folders below are there: the refusals above are the rule, not a broken probe.
compile_within(navigator "#include \"navigator/command_states.h\"\n#include \"store/outbox.h\"\n#include \"base/multibyte.h\"" status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "navigator/ cannot include its own and lower headers:\n${compiler_output}")
endif()
message(STATUS "every layer refuses the headers above it")
