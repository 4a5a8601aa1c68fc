#include "ui/manual.h"

#include "platform/program_launch.h"
#include "ui/bundled_file.h"

namespace qm {

bool open_manual(reporter& report) {
    std::optional<std::string> path = find_bundled_file(manual_file_name);
    if (!path) {
        report.show(message_kind::error, missing_bundled_file_text(str::manual_missing, manual_file_name));
        return false;
    }
    // No program named: the one the desktop registered for the document.
    if (!start_program("", *path)) {
        report.error(str::system_error);
        return false;
    }
    return true;
}

}  // namespace qm
