#include "platform/companion_file.h"

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/cp932.h"

namespace qm {

std::string companion_path(std::string_view path) {
    std::size_t name_start = path.find_last_of('/');
    name_start = name_start == std::string_view::npos ? 0 : name_start + 1;
    std::size_t dot = path.find('.', name_start);
    return std::string(path.substr(0, dot)) + ".$$$";
}

bool replace_with_companion(std::string_view path, std::string_view companion) {
    // rename() replaces the old file in one step, so the file is never
    // missing and never half-written, whatever happens in between.
    std::string from = disk_path(companion);
    std::string to = disk_path(path);
    // The new file keeps the old one's permissions (a read-only header file
    // stays read-only).
    struct stat old_status;
    if (!to.empty() && ::stat(to.c_str(), &old_status) == 0) ::chmod(from.c_str(), old_status.st_mode & 07777);
    if (from.empty() || to.empty() || std::rename(from.c_str(), to.c_str()) != 0) {
        if (!from.empty()) ::unlink(from.c_str());
        return false;
    }
    return true;
}

bool rewrite_through_companion(std::string_view path, const std::function<bool(text_writer&)>& fill) {
    std::string companion = companion_path(path);
    text_writer writer;
    if (!writer.open(companion)) return false;
    bool ok = fill(writer);
    ok = writer.close() && ok;
    if (!ok) {
        ::unlink(disk_path(companion).c_str());
        return false;
    }
    return replace_with_companion(path, companion);
}

}  // namespace qm
