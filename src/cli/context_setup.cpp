#include <cstdio>

#include "cli/commands.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"

namespace qm::cli {

bool prepare_context() {
    switch (init_context()) {
        case context_result::ok: break;
        case context_result::no_data_directory:
            std::fputs("quillmere-cli: the data directory cannot be found or made (see QUILLMERE_HOME)\n", stderr);
            return false;
        case context_result::no_temporary_directory:
            std::fputs("quillmere-cli: no safe temporary directory (see TMPDIR)\n", stderr);
            return false;
    }
    const std::string& work = context().work_directory;
    if (!directory_exists(work) && !make_directory(work)) {
        std::fputs("quillmere-cli: the work directory cannot be made\n", stderr);
        return false;
    }
    return true;
}

}  // namespace qm::cli
