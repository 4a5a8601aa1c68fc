#include "store/folder_moves.h"

#include "platform/file_operations.h"
#include "platform/tree_operations.h"
#include "store/draft_in_use.h"
#include "config/folder_names.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"

namespace qm {

namespace {


// A name that stands for one entry of the folder shown ("." and ".." do
// not: the ".." row is the way to the parent).
bool is_entry_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool message_may_enter(char type, std::optional<special_folder> kind) {
    switch (type) {
        case '\0':
        case ' ':
        case type_new:
            return kind != special_folder::outbox && kind != special_folder::drafts && kind != special_folder::sent;
        case type_sent:
            return kind != special_folder::inbox && kind != special_folder::outbox && kind != special_folder::drafts;
        case type_draft:
            return kind == special_folder::trash || kind == special_folder::outbox || kind == special_folder::drafts;
        default:
            return true;
    }
}

std::string parent_folder(std::string_view folder) {
    std::string_view trimmed = folder.substr(0, folder.size() - 1);
    return std::string(trimmed.substr(0, trimmed.rfind('/') + 1));
}

std::string last_name(std::string_view folder) {
    std::string_view trimmed = folder.substr(0, folder.size() - 1);
    return std::string(trimmed.substr(trimmed.rfind('/') + 1));
}

// Moves one folder row; false when the move failed (refusals are true).
bool move_folder_row(const folder_place& place, std::string_view target, std::optional<special_folder> kind,
                     const std::string& name, std::size_t index, move_result& result) {
    std::string source = place.folder + name + "/";
    if (!is_entry_name(name) || is_mail_folder(kind) || is_reserved_folder_name(name) || target == place.folder ||
        target.starts_with(source))
        return true;
    std::string destination = free_folder_path(target, name);
    if (!move_directory(source, destination, false)) return false;
    result.moved.push_back({index, destination});
    return true;
}

// Moves one message row as a whole directory; false when the move failed.
// A message whose emptied directory cannot be removed is moved back, so
// that it is never left in two places.
bool move_message_row(const folder_place& place, std::string_view target, std::optional<special_folder> kind,
                      const selected_row& row, std::size_t index, message_numbering& numbering,
                      move_result& result) {
    std::optional<int> number = message_number_of("." + row.name);
    if (!number || target == place.folder || !message_may_enter(row.type, kind)) return true;
    std::string source = message_directory(place.folder, *number);
    if (row.type == type_draft && is_draft_in_use(source)) return true;
    int moved = move_message_directory(source, target, &numbering);
    if (moved < 0) return false;
    result.moved.push_back({index, message_directory(target, moved)});
    return true;
}

}  // namespace

std::string account_root_of(std::string_view mailbox, std::string_view path) {
    if (!path.starts_with(mailbox)) return {};
    std::string_view rest = path.substr(mailbox.size());
    std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash == 0) return {};
    return std::string(path.substr(0, mailbox.size() + slash + 1));
}

std::string free_folder_path(std::string_view directory, std::string_view name) {
    std::string path = std::string(directory) + std::string(name);
    while (path_exists(path)) path += '_';
    return path + "/";
}

move_result move_rows(const folder_place& place, std::string_view target, const std::vector<selected_row>& rows,
                      reporter& report) {
    move_result result;
    std::string target_account = account_root_of(place.mailbox, target);
    if (target_account.empty() || target.empty() || target.back() != '/') return result;
    std::optional<special_folder> kind = which_special_folder(target_account, target);
    message_numbering numbering;
    for (std::size_t i = 0; i < rows.size() && !result.failed; ++i) {
        const selected_row& row = rows[i];
        bool ok = row.folder ? move_folder_row(place, target, kind, row.name, i, result)
                             : move_message_row(place, target, kind, row, i, numbering, result);
        result.failed = !ok;
    }
    if (result.failed) report.error(str::file_error);
    return result;
}

folder_move_result move_folder(const folder_place& place, std::string_view folder, std::string_view target,
                               reporter& report) {
    folder_move_result result;
    std::string folder_account = account_root_of(place.mailbox, folder);
    std::string target_account = account_root_of(place.mailbox, target);
    if (folder_account.empty() || folder == folder_account || target_account.empty() || target.back() != '/' ||
        folder.back() != '/')
        return result;
    std::string name = last_name(folder);
    std::string parent = parent_folder(folder);
    if (is_reserved_folder_name(name) || is_mail_folder(which_special_folder(target_account, target)) ||
        target.starts_with(folder) || target == parent)
        return result;
    std::string destination = free_folder_path(target, name);
    if (place.folder.starts_with(folder)) result.show_folder = parent;
    if (!move_directory(folder, destination, false)) {
        report.error(str::file_error);
        return result;
    }
    result.moved = true;
    result.new_path = destination;
    return result;
}

std::optional<std::string> fixed_move_target(std::string_view account_root, std::string_view folder) {
    std::optional<special_folder> kind = which_special_folder(account_root, folder);
    if (kind == special_folder::outbox) return special_folder_in(account_root, special_folder::drafts);
    if (kind == special_folder::drafts) return special_folder_in(account_root, special_folder::outbox);
    return std::nullopt;
}

}  // namespace qm
