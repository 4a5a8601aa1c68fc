#include "store/folder_operations.h"

#include <string>

#include <sys/stat.h>

#include "message/header_fields.h"
#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "store/mailbox_layout.h"

namespace qm {

namespace {

bool is_entry_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// Whether two paths name one directory entry's file (a case-insensitive
// file system lists "Work" and "work" as one folder).
bool same_file(std::string_view a, std::string_view b) {
    std::string first = disk_path(a);
    std::string second = disk_path(b);
    struct stat sa, sb;
    return !first.empty() && !second.empty() && ::lstat(first.c_str(), &sa) == 0 &&
           ::lstat(second.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A change of case on a file system that ignores case: through a free
// temporary name, as the target "exists" already.
bool rename_case_only(const std::string& from, const std::string& to) {
    std::string between = from + ".$$$";
    while (path_exists(between)) between += '$';
    if (!rename_path(from, between)) return false;
    if (rename_path(between, to)) return true;
    rename_path(between, from);
    return false;
}

}  // namespace

bool make_folder(std::string_view folder, std::string_view name, reporter& report) {
    if (!is_acceptable_folder_name(name)) {
        report.notice(str::folder_name_rules);
        return false;
    }
    std::string path = std::string(folder) + std::string(name);
    if (path_exists(path)) {
        report.notice(str::name_exists);
        return false;
    }
    if (!make_directory(path)) {
        report.error(str::file_error);
        return false;
    }
    return true;
}

bool rename_folder(std::string_view folder, std::string_view old_name, std::string_view new_name, reporter& report) {
    if (!is_entry_name(old_name) || is_reserved_folder_name(old_name)) return false;
    if (!is_acceptable_folder_name(new_name)) {
        report.notice(str::folder_name_rules);
        return false;
    }
    if (new_name == old_name) return true;
    std::string from = std::string(folder) + std::string(old_name);
    std::string to = std::string(folder) + std::string(new_name);
    bool case_only = path_exists(to) && same_file(from, to);
    if (path_exists(to) && !case_only) {
        report.notice(str::name_exists);
        return false;
    }
    if (!(case_only ? rename_case_only(from, to) : rename_path(from, to))) {
        report.error(str::file_error);
        return false;
    }
    return true;
}

bool change_subject(std::string_view folder, std::string_view message_name, std::string_view subject,
                    reporter& report) {
    std::optional<int> number = message_number_of("." + std::string(message_name));
    if (!number || !set_subject(part_file(message_directory(folder, *number), 0), subject)) {
        report.error(str::file_error);
        return false;
    }
    return true;
}

}  // namespace qm
