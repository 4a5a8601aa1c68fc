#include "platform/directories.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/cp932.h"
#include "base/format.h"
#include "base/multibyte.h"

namespace qm {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An environment path (UTF-8 on Linux) as a program path ending with "/".
std::optional<std::string> program_directory_path(const std::string& utf8) {
    if (utf8.empty()) return std::nullopt;
    std::string absolute = utf8;
    if (absolute[0] != '/') {
        std::string here(4096, '\0');
        if (!::getcwd(here.data(), here.size())) return std::nullopt;
        absolute = std::string(here.c_str()) + "/" + absolute;
    }
    auto converted = utf8_to_cp932(absolute);
    if (!converted) return std::nullopt;
    std::string path = backslashes_to_slashes(*converted);
    if (path.back() != '/') path += '/';
    return path;
}

bool make_directories(const std::string& disk) {
    for (std::size_t slash = disk.find('/', 1); slash != std::string::npos; slash = disk.find('/', slash + 1)) {
        if (::mkdir(disk.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat status;
    return ::stat(disk.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<std::string> existing_or_made(std::optional<std::string> directory) {
    if (!directory || !make_directories(disk_path(*directory))) return std::nullopt;
    return directory;
}

}  // namespace

std::optional<std::string> executable_directory() {
    std::string target(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    target.erase(target.find_last_of('/') + 1);
    return program_directory_path(target);
}

bool is_installed_copy(std::string_view program_directory) {
    std::string_view path = program_directory;
    if (!path.ends_with("/bin/")) return false;
    path.remove_suffix(std::string_view("bin/").size());
    struct stat status;
    const std::string shared = disk_path(std::string(path) + "share/quillmere");
    return ::stat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<std::string> find_data_directory() {
    std::string home = environment("QUILLMERE_HOME");
    if (!home.empty()) return existing_or_made(program_directory_path(home));
    if (auto own = executable_directory();
        own && ::access(disk_path(*own).c_str(), W_OK) == 0 && !is_installed_copy(*own))
        return own;
    std::string data_home = environment("XDG_DATA_HOME");
    if (data_home.empty() || data_home[0] != '/') data_home = environment("HOME") + "/.local/share";
    return existing_or_made(program_directory_path(data_home + "/quillmere"));
}

std::optional<std::string> private_subdirectory(std::string_view shared_directory) {
    std::string path = std::string(shared_directory) + string_printf("quillmere-%u/", static_cast<unsigned>(::getuid()));
    std::string disk = disk_path(path);
    if (disk.empty()) return std::nullopt;
    disk.pop_back();
    if (::mkdir(disk.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    struct stat status;
    if (::lstat(disk.c_str(), &status) != 0) return std::nullopt;
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid()) return std::nullopt;
    if ((status.st_mode & 077) != 0 && ::chmod(disk.c_str(), 0700) != 0) return std::nullopt;
    return path;
}

std::optional<std::string> find_temporary_directory() {
    std::string chosen = "/tmp";
    for (const char* name : {"TMP_RAM", "TMP", "TEMP", "TMPDIR"}) {
        std::string value = environment(name);
        if (!value.empty()) {
            chosen = value;
            break;
        }
    }
    auto directory = program_directory_path(chosen);
    if (!directory) return std::nullopt;
    struct stat status;
    std::string disk = disk_path(*directory);
    if (::stat(disk.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
    if (status.st_mode & (S_IWGRP | S_IWOTH)) return private_subdirectory(*directory);
    return directory;
}

std::string work_directory_in(std::string_view data_directory) {
    return std::string(data_directory) + std::string(work_directory_name);
}

}  // namespace qm
