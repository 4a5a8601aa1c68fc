#include "store/mailbox_layout.h"

#include "platform/file_operations.h"
#include "platform/tree_operations.h"
#include "text/format.h"

namespace qm {

std::string special_folder_path(special_folder folder) {
    int id = str::folder_inbox;
    switch (folder) {
        case special_folder::inbox: id = str::folder_inbox; break;
        case special_folder::outbox: id = str::folder_outbox; break;
        case special_folder::drafts: id = str::folder_outbox_drafts; break;
        case special_folder::sent: id = str::folder_outbox_sent; break;
        case special_folder::trash: id = str::folder_trash; break;
    }
    return load_string(id) + "/";
}

std::string special_folder_in(std::string_view account_root, special_folder folder) {
    return std::string(account_root) + special_folder_path(folder);
}

std::optional<special_folder> which_special_folder(std::string_view account_root, std::string_view folder) {
    if (folder.substr(0, account_root.size()) != account_root) return std::nullopt;
    std::string_view below = folder.substr(account_root.size());
    for (special_folder candidate : {special_folder::inbox, special_folder::outbox, special_folder::drafts,
                                     special_folder::sent, special_folder::trash}) {
        if (below == special_folder_path(candidate)) return candidate;
    }
    return std::nullopt;
}

bool make_special_folders(std::string_view account_root) {
    for (special_folder folder : {special_folder::trash, special_folder::inbox, special_folder::outbox,
                                  special_folder::drafts, special_folder::sent}) {
        std::string path = special_folder_in(account_root, folder);
        if (!make_directory(path) && !directory_exists(path)) return false;
    }
    return true;
}

std::string message_directory(std::string_view folder, int number) {
    return string_printf("%.*s.%d/", static_cast<int>(folder.size()), folder.data(), number);
}

std::string part_file(std::string_view message_dir, int number) {
    return std::string(message_dir) + std::to_string(number);
}

int new_message_directory(std::string_view folder, std::optional<std::string_view> source, reporter& report) {
    int number = 0;
    std::string directory = message_directory(folder, number);
    while (path_exists(directory)) directory = message_directory(folder, ++number);
    if (!make_directory(directory)) {
        report.error(str::file_error);
        return -1;
    }
    if (source && !move_contents(*source, directory)) {
        // What the copy put into the new directory goes again; the source
        // still holds everything the move did not finish.
        delete_tree(directory, false);
        report.error(str::file_error);
        return -1;
    }
    return number;
}

}  // namespace qm
