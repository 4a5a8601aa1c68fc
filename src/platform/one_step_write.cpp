#include "platform/one_step_write.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/unique_file.h"

namespace qm {

namespace {

constexpr std::string_view new_file_template = "new_$$$$.tmp";

std::string directory_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
}

// A hard link gives the file its name only where none stands yet. A file
// system without hard links gets a rename after a look that nothing is
// there.
bool link_without_replacing(const std::string& file, std::string_view path) {
    std::string from = disk_path(file);
    std::string to = disk_path(path);
    if (from.empty() || to.empty()) return false;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    bool nothing_there = errno != EEXIST && ::access(to.c_str(), F_OK) != 0 && errno == ENOENT;
    if (nothing_there && std::rename(from.c_str(), to.c_str()) == 0) return true;
    ::unlink(from.c_str());
    return false;
}

}  // namespace

bool write_file_in_one_step(std::string_view path, std::string_view bytes, bool replace) {
    std::optional<std::string> temp = create_unique_file(directory_of(path), new_file_template);
    if (!temp) return false;
    file_handle out = create_file(*temp);
    bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
    ok = close_checked(out) && ok;
    if (!ok) {
        ::unlink(disk_path(*temp).c_str());
        return false;
    }
    return replace ? replace_with_companion(path, *temp) : link_without_replacing(*temp, path);
}

}  // namespace qm
