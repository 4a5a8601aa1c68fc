#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "platform/tree_operations.h"
#include "base/format.h"

namespace qm {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool make_private_directory(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool make_directories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (!make_private_directory(path.substr(0, slash))) return false;
    }
    return make_private_directory(path);
}

// Percent-escapes everything but the unreserved characters and "/", as a
// file URI path does.
std::string escape_path(const std::string& path) {
    std::string escaped;
    for (unsigned char c : path) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                     c == '-' || c == '_' || c == '.' || c == '~';
        escaped += plain ? std::string(1, static_cast<char>(c)) : string_printf("%%%02X", c);
    }
    return escaped;
}

std::string absolute_disk_path(const std::string& disk) {
    std::string parent = disk;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    std::size_t slash = parent.find_last_of('/');
    std::string name = slash == std::string::npos ? parent : parent.substr(slash + 1);
    std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : parent.substr(0, slash));
    char* resolved = ::realpath(directory.c_str(), nullptr);
    if (!resolved) return {};
    std::string absolute = resolved;
    std::free(resolved);
    if (absolute.back() != '/') absolute += '/';
    return absolute + name;
}

std::string deletion_date() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return string_printf("%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour, local.tm_min, local.tm_sec);
}

// Creates info/NAME.trashinfo exclusively, which reserves NAME in files/.
bool reserve_trash_name(const std::string& trash, const std::string& base, const std::string& info_text,
                        std::string& name) {
    for (int n = 1; n < 10000; ++n) {
        name = n == 1 ? base : string_printf("%s.%d", base.c_str(), n);
        std::string info_path = trash + "info/" + name + ".trashinfo";
        int fd = ::open(info_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        bool ok = ::write(fd, info_text.data(), info_text.size()) == static_cast<ssize_t>(info_text.size());
        ok = ::close(fd) == 0 && ok;
        struct stat existing;
        if (ok && ::lstat((trash + "files/" + name).c_str(), &existing) != 0) return true;
        ::unlink(info_path.c_str());
        if (!ok) return false;
    }
    return false;
}

}  // namespace

std::string trash_directory() {
    std::string data_home = environment("XDG_DATA_HOME");
    if (data_home.empty() || data_home[0] != '/') data_home = environment("HOME") + "/.local/share";
    return data_home + "/Trash/";
}

bool move_to_trash(std::string_view path) {
    std::string disk = disk_path(path);
    if (disk.empty()) return false;
    struct stat status;
    if (::lstat(disk.c_str(), &status) != 0) return false;
    std::string absolute = absolute_disk_path(disk);
    if (absolute.empty()) return false;

    std::string trash = trash_directory();
    if (!make_directories(trash + "files") || !make_directories(trash + "info")) return false;

    std::string base = absolute.substr(absolute.find_last_of('/') + 1);
    std::string info_text =
        "[Trash Info]\nPath=" + escape_path(absolute) + "\nDeletionDate=" + deletion_date() + "\n";
    std::string name;
    if (!reserve_trash_name(trash, base, info_text, name)) return false;
    std::string target = trash + "files/" + name;
    std::string info_path = trash + "info/" + name + ".trashinfo";

    if (::rename(disk.c_str(), target.c_str()) == 0) return true;
    if (errno == EXDEV) {
        // Another file system: copy, and remove the original only when the
        // copy is whole. Once the copy is whole it is kept, even if the
        // original can then be removed only in part.
        std::string source = trimmed_path(path);
        auto target_cp = program_name(target);
        bool directory = S_ISDIR(status.st_mode);
        if (target_cp) {
            bool copied = directory ? make_directory(*target_cp) && copy_tree(source + "/", *target_cp + "/")
                                    : copy_file(source, *target_cp, false);
            if (copied) return directory ? delete_tree(source + "/", false) : delete_file(source);
            if (directory)
                delete_tree(*target_cp + "/", false);
            else
                delete_file(*target_cp);
        }
    }
    ::unlink(info_path.c_str());
    return false;
}

}  // namespace qm
