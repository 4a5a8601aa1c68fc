#include "platform/directory_walker.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "base/format.h"

namespace qm {

std::string format_write_time(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return string_printf("%d.%2d.%2d %2d:%02d.%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour, local.tm_min, local.tm_sec);
}

directory_walker::~directory_walker() {
    if (dir_) ::closedir(dir_);
}

bool directory_walker::open(std::string_view path) {
    if (dir_) {
        ::closedir(dir_);
        dir_ = nullptr;
    }
    std::string_view directory = path;
    pattern_.clear();
    if (!path.empty() && path.back() != '/' && trimmed_path(path).size() == path.size()) {
        std::size_t slash = path.find_last_of('/');
        std::string_view pattern = slash == std::string_view::npos ? path : path.substr(slash + 1);
        directory = slash == std::string_view::npos ? std::string_view("./") : path.substr(0, slash + 1);
        if (pattern != "*.*" && pattern != "*") {
            auto converted = cp932_to_utf8(pattern);
            if (!converted) return false;
            pattern_ = *converted;
        }
    }
    std::string disk = disk_path(directory);
    if (disk.empty()) return false;
    dir_ = ::opendir(disk.c_str());
    return dir_ != nullptr;
}

bool directory_walker::matches(const std::string& disk_name) const {
    if (pattern_.empty()) return true;
    if (::fnmatch(pattern_.c_str(), disk_name.c_str(), FNM_PERIOD) == 0) return true;
    // A pattern "name.*" also takes "name" without any extension.
    if (pattern_.size() >= 2 && pattern_.compare(pattern_.size() - 2, 2, ".*") == 0) {
        std::string without = pattern_.substr(0, pattern_.size() - 2);
        return disk_name.find('.') == std::string::npos && ::fnmatch(without.c_str(), disk_name.c_str(), 0) == 0;
    }
    return false;
}

bool directory_walker::next(dir_entry& entry) {
    if (!dir_) return false;
    while (dirent* raw = ::readdir(dir_)) {
        std::string disk_name = raw->d_name;
        if (!matches(disk_name)) continue;
        auto name = program_name(disk_name);
        if (!name) continue;
        struct stat status;
        if (::fstatat(::dirfd(dir_), raw->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        entry = dir_entry{};
        entry.name = std::move(*name);
        entry.symlink = S_ISLNK(status.st_mode);
        if (entry.symlink) {
            struct stat target;
            if (::fstatat(::dirfd(dir_), raw->d_name, &target, 0) == 0) status = target;
        }
        entry.directory = S_ISDIR(status.st_mode);
        entry.size = entry.directory ? 0 : static_cast<std::uint64_t>(status.st_size);
        entry.write_time = status.st_mtime;
        entry.time_text = format_write_time(status.st_mtime);
        entry.hidden = !disk_name.empty() && disk_name[0] == '.';
        entry.read_only = (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        return true;
    }
    ::closedir(dir_);
    dir_ = nullptr;
    return false;
}

std::optional<std::vector<std::string>> read_directory_names(std::string_view directory) {
    std::string disk = disk_path(directory);
    if (disk.empty()) return std::nullopt;
    DIR* dir = ::opendir(disk.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (dirent* raw = ::readdir(dir)) {
        std::string_view name = raw->d_name;
        if (name == "." || name == "..") continue;
        if (auto converted = program_name(name)) names.push_back(std::move(*converted));
    }
    ::closedir(dir);
    return names;
}

}  // namespace qm
