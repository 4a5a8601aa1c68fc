#include "store/trash_operations.h"

#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/tree_operations.h"
#include "store/mailbox_layout.h"

namespace qm {

bool empty_trash_folder(std::string_view account_root) {
    std::string trash = special_folder_in(account_root, special_folder::trash);
    if (!directory_exists(trash)) return true;
    directory_walker walker(trash);
    if (!walker.is_open()) return false;
    dir_entry entry;
    while (walker.next(entry)) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string path = trash + entry.name;
        if (entry.directory && !entry.symlink) {
            if (!delete_tree(path + "/", false)) return false;
        } else if (entry.name != trash_rules_file && !delete_file(path)) {
            return false;
        }
    }
    return true;
}

empty_trash_result empty_trash(std::string_view account_root, std::string_view folder_shown, reporter& report) {
    empty_trash_result result;
    if (!report.confirm(str::confirm_empty_trash)) {
        result.cancelled = true;
        return result;
    }
    if (lies_in_trash(account_root, folder_shown)) result.show_folder = special_folder_in(account_root, special_folder::trash);
    result.emptied = empty_trash_folder(account_root);
    if (!result.emptied) report.error(str::file_error);
    return result;
}

}  // namespace qm
