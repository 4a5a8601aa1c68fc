#include "store/mailbox_layout.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "platform/tree_operations.h"
#include "base/numbered_names.h"

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
    if (!folder.starts_with(account_root)) return std::nullopt;
    std::string_view below = folder.substr(account_root.size());
    for (special_folder candidate : {special_folder::inbox, special_folder::outbox, special_folder::drafts,
                                     special_folder::sent, special_folder::trash}) {
        if (below == special_folder_path(candidate)) return candidate;
    }
    return std::nullopt;
}

bool is_mail_folder(std::optional<special_folder> kind) {
    return kind == special_folder::inbox || kind == special_folder::outbox || kind == special_folder::drafts ||
           kind == special_folder::sent;
}

bool lies_in_trash(std::string_view account_root, std::string_view folder) {
    return folder.starts_with(special_folder_in(account_root, special_folder::trash));
}

bool make_special_folders(std::string_view account_root) {
    for (special_folder folder : {special_folder::trash, special_folder::inbox, special_folder::outbox,
                                  special_folder::drafts, special_folder::sent}) {
        std::string path = special_folder_in(account_root, folder);
        if (!make_directory(path) && !directory_exists(path)) return false;
    }
    return true;
}

std::string message_dir_name(int number) { return "." + std::to_string(number); }

std::optional<int> message_number_of(std::string_view name) {
    constexpr std::size_t longest = 11;  // "." and the ten digits of INT_MAX
    if (name.size() < 2 || name.size() > longest || name[0] != '.') return std::nullopt;
    std::string_view digits = name.substr(1);
    if (!is_decimal(digits) || (digits[0] == '0' && digits.size() > 1)) return std::nullopt;
    long long number = std::stoll(std::string(digits));
    if (number > INT_MAX) return std::nullopt;
    return static_cast<int>(number);
}

std::string message_directory(std::string_view folder, int number) {
    return std::string(folder) + message_dir_name(number) + "/";
}

int lowest_free_message_number(std::string_view folder) {
    auto names = read_directory_names(folder);
    if (!names) return 0;
    // The lowest free number is at most the number of names, so only numbers
    // below that count: a stray ".999999999" costs nothing.
    std::vector<bool> used(names->size() + 1);
    for (const std::string& name : *names) {
        std::optional<int> number = message_number_of(name);
        if (number && static_cast<std::size_t>(*number) < used.size()) used[static_cast<std::size_t>(*number)] = true;
    }
    std::size_t lowest = 0;
    while (used[lowest]) ++lowest;
    return static_cast<int>(lowest);
}

int message_numbering::first_candidate(std::string_view folder) {
    auto it = next_.find(folder);
    if (it != next_.end()) return it->second;
    int lowest = lowest_free_message_number(folder);
    next_.emplace(std::string(folder), lowest);
    return lowest;
}

void message_numbering::taken(std::string_view folder, int number) {
    auto it = next_.find(folder);
    if (it == next_.end())
        next_.emplace(std::string(folder), number + 1);
    else
        it->second = std::max(it->second, number + 1);
}

void message_numbering::released(std::string_view folder, int number) {
    auto it = next_.find(folder);
    if (it != next_.end()) it->second = std::min(it->second, number);
}

int new_message_directory(std::string_view folder, std::optional<std::string_view> source,
                          message_numbering* numbering) {
    // Making the directory is the test: a number whose name exists (as a
    // message or anything else) is skipped, and no other program can take
    // the number between a test and the making.
    int number = numbering ? numbering->first_candidate(folder) : lowest_free_message_number(folder);
    std::string directory = message_directory(folder, number);
    while (!make_directory(directory)) {
        if (errno != EEXIST) return -1;
        directory = message_directory(folder, ++number);
    }
    if (numbering) numbering->taken(folder, number);
    if (source && !move_contents(*source, directory)) {
        // What the copy put into the new directory goes again; the source
        // still holds everything the move did not finish.
        delete_tree(directory, false);
        if (numbering) numbering->released(folder, number);
        return -1;
    }
    return number;
}

int move_message_directory(std::string_view source, std::string_view folder, message_numbering* numbering) {
    int number = numbering ? numbering->first_candidate(folder) : lowest_free_message_number(folder);
    for (;; ++number) {
        if (rename_path(source, message_directory(folder, number))) {
            if (numbering) numbering->taken(folder, number);
            return number;
        }
        // The number is taken: try the next one. Anything else but another
        // file system or a directory that may not be renamed is a failure.
        if (errno == EEXIST || errno == ENOTEMPTY) continue;
        if (errno != EXDEV && errno != EACCES && errno != EPERM) return -1;
        break;
    }
    number = new_message_directory(folder, source, numbering);
    if (number < 0) return -1;
    if (remove_directory(source)) return number;
    // The source could not be removed: put the files back, so that the
    // message is in one place.
    std::string moved = message_directory(folder, number);
    if (move_contents(moved, source) && remove_directory(moved) && numbering) numbering->released(folder, number);
    return -1;
}

}  // namespace qm
