#include "text/file_conversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/program_context.h"
#include "platform/unique_file.h"

namespace qm {

namespace {

constexpr std::size_t copy_block = 65536;

void remove_file(std::string_view path) {
    std::string disk = disk_path(path);
    if (!disk.empty()) ::unlink(disk.c_str());
}

std::string directory_of(std::string_view path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool copy_bytes(std::string_view from, std::string_view to) {
    file_handle in = open_file(from, "rb");
    file_handle out = create_file(to);
    if (!in || !out) return false;
    std::string block(copy_block, '\0');
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), in.get())) > 0) {
        if (std::fwrite(block.data(), 1, n, out.get()) != n) return false;
    }
    return !std::ferror(in.get()) && close_checked(out);
}

// Gives `replacement` the name `path` in one step, with the permissions the
// file had, so that the file is never missing or half-written.
bool rename_over(std::string_view replacement, std::string_view path, const struct stat& old, int& error) {
    std::string from = disk_path(replacement), to = disk_path(path);
    if (from.empty() || to.empty()) {
        error = ENOENT;
        return false;
    }
    // The owner can only be kept where the system allows it (root converting
    // a user's file); the permissions always are.
    [[maybe_unused]] bool owner_kept = ::chown(from.c_str(), old.st_uid, old.st_gid) == 0;
    if (::chmod(from.c_str(), old.st_mode & 07777) != 0 || std::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool replace_file(std::string_view path, std::string_view converted) {
    struct stat status;
    std::string disk = disk_path(path);
    if (disk.empty() || ::stat(disk.c_str(), &status) != 0) return false;

    int error = 0;
    if (rename_over(converted, path, status, error)) return true;
    if (error != EXDEV) return false;

    // The temporary directory lies on another file system: the result is
    // copied beside the file first, so that the last step is still a rename.
    auto beside = create_unique_file(directory_of(path), conversion_file_template);
    if (!beside) return false;
    if (copy_bytes(converted, *beside) && rename_over(*beside, path, status, error)) {
        remove_file(converted);
        return true;
    }
    remove_file(*beside);
    return false;
}

}  // namespace

bool convert_file(std::string_view path,
                  const std::function<bool(std::string_view source, std::string_view target)>& convert) {
    if (!open_file(path, "rb")) return false;
    auto temporary = unique_temporary_file(conversion_file_template);
    if (!temporary) return false;
    // After a successful replacement the temporary file has become the file.
    if (convert(path, *temporary) && replace_file(path, *temporary)) return true;
    remove_file(*temporary);
    return false;
}

}  // namespace qm
