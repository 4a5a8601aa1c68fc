#include "platform/tree_operations.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/attributes.h"
#include "platform/cp932.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/trash.h"

namespace qm {

namespace {

bool is_dot_entry(const dir_entry& entry) { return entry.name == "." || entry.name == ".."; }

// Entries can only be removed from a writable directory on Linux; the store's
// read-only mark on a directory that is being emptied does not protect it.
void make_writable(std::string_view directory) {
    if (is_read_only(directory)) set_attributes(directory, no_attributes);
}

}  // namespace

bool copy_tree(std::string_view source, std::string_view target) {
    std::string from = with_final_slash(source);
    std::string to = with_final_slash(target);
    directory_walker walker(from);
    if (!walker.is_open()) return false;
    dir_entry entry;
    while (walker.next(entry)) {
        if (is_dot_entry(entry)) continue;
        std::string source_path = from + entry.name;
        std::string target_path = to + entry.name;
        if (entry.directory && !entry.symlink) {
            if (!make_directory(target_path) && !directory_exists(target_path)) return false;
            if (!copy_tree(source_path + "/", target_path + "/")) return false;
            if (entry.read_only && !set_attributes(target_path, read_only_mark)) return false;
        } else if (!copy_file(source_path, target_path, false)) {
            return false;
        }
    }
    return true;
}

bool empty_tree(std::string_view path) {
    std::string directory = with_final_slash(path);
    directory_walker walker(directory);
    if (!walker.is_open()) return false;
    make_writable(directory);
    dir_entry entry;
    while (walker.next(entry)) {
        if (is_dot_entry(entry)) continue;
        std::string entry_path = directory + entry.name;
        if (entry.directory && !entry.symlink) {
            if (!empty_tree(entry_path + "/") || !remove_directory(entry_path)) return false;
        } else if (!delete_file(entry_path)) {
            return false;
        }
    }
    return true;
}

bool move_contents(std::string_view source, std::string_view target) {
    std::string from = with_final_slash(source);
    std::string to = with_final_slash(target);
    std::vector<std::string> moved;
    bool complete = true;
    bool across_file_systems = false;
    directory_walker walker(from);
    if (!walker.is_open()) return false;
    dir_entry entry;
    while (walker.next(entry)) {
        if (is_dot_entry(entry)) continue;
        if (!rename_path(from + entry.name, to + entry.name)) {
            complete = false;
            across_file_systems = errno == EXDEV;
            break;
        }
        moved.push_back(entry.name);
    }
    if (complete) return true;
    // Put back what was moved, so that the source is whole again.
    for (const std::string& name : moved) rename_path(to + name, from + name);
    if (!across_file_systems) return false;
    if (!copy_tree(from, to)) return false;
    // The target is whole now; a source that cannot be emptied completely
    // keeps copies, and the caller's removal of the source then fails.
    empty_tree(from);
    return true;
}

bool delete_tree(std::string_view path, bool to_trash) {
    if (to_trash) return move_to_trash(trimmed_path(path));
    return empty_tree(path) && remove_directory(path);
}

bool move_directory(std::string_view source, std::string_view target, bool replace) {
    if (replace && path_exists(target) && !move_to_trash(trimmed_path(target))) return false;
    if (rename_path(source, target)) return true;
    // Only a move to another file system is done by copying. Any other
    // refusal (an existing target, a move into the directory itself) stands:
    // copying would merge into, or empty, what is already there.
    if (errno != EXDEV || path_exists(target)) return false;
    if (!make_directory(target)) return false;
    if (!copy_tree(source, target)) {
        delete_tree(target, false);
        return false;
    }
    if (is_read_only(source) && !set_attributes(target, read_only_mark)) return false;
    return empty_tree(source) && remove_directory(source);
}

}  // namespace qm
