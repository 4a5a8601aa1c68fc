#include "platform/attributes.h"

#include <sys/stat.h>

#include "platform/cp932.h"
#include "platform/file_operations.h"

namespace qm {

namespace {

constexpr mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;

std::string_view last_component(std::string_view path) {
    std::string trimmed = trimmed_path(path);
    path = path.substr(0, trimmed.size());
    std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool stat_path(std::string_view path, struct stat& status) {
    std::string disk = disk_path(path);
    return !disk.empty() && ::stat(disk.c_str(), &status) == 0;
}

}  // namespace

bool is_hidden_name(std::string_view path) {
    std::string_view name = last_component(path);
    return !name.empty() && name[0] == '.';
}

bool set_attributes(std::string_view path, std::string_view attributes) {
    struct stat status;
    if (!stat_path(path, status)) return false;
    bool read_only = attributes.find('r') != std::string_view::npos;
    mode_t mode = status.st_mode & 07777;
    mode_t wanted = read_only ? (mode & ~write_bits) : (mode | S_IWUSR);
    if (wanted == mode) return true;
    return ::chmod(disk_path(path).c_str(), wanted) == 0;
}

bool is_read_only(std::string_view path) {
    struct stat status;
    return stat_path(path, status) && (status.st_mode & write_bits) == 0;
}

}  // namespace qm
