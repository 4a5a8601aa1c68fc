#include "navigator/command_states.h"

#include <cstddef>
#include <optional>

#include "config/folder_names.h"
#include "message/header_fields.h"
#include "message/part_file.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"

namespace qm {

namespace {

bool is_received(const mail_row& row) { return row.type == type_new || row.type == ' '; }

// Whether the message has a part besides its text: file "2" when it has a
// text/plain part, "1" when it has none.
bool has_part_beyond_text(std::string_view message_dir) {
    const int first_beyond = find_text_part(message_dir) < 0 ? 1 : 2;
    return path_exists(part_file(message_dir, first_beyond));
}

bool names_people(std::string_view message_dir) {
    return has_header_line(part_file(message_dir, 0), address_field_names);
}

// The row the commands act on when exactly one is meant: the one selected
// row, or the focused row when none is selected; nullptr otherwise.
const mail_row* single_row(const std::vector<mail_row>& rows, const std::vector<int>& valid_selection, int focused) {
    auto row_at = [&](int index) { return &rows[static_cast<std::size_t>(index)]; };
    if (valid_selection.size() == 1) return row_at(valid_selection.front());
    if (valid_selection.empty() && focused >= 0 && static_cast<std::size_t>(focused) < rows.size()) return row_at(focused);
    return nullptr;
}

void set_row_commands(command_states& states, std::string_view folder, const mail_row& row, bool in_trash) {
    states.set(cmd::open, true);
    if (row.is_folder()) {
        for (int command = cmd::open_all_headers; command <= cmd::resend; ++command) states.set(command, false);
        const bool movable = !is_special_row(row);
        states.set(cmd::move, movable, str::reason_special_folder);
        states.set(cmd::rename, movable, str::reason_special_folder);
        states.set(cmd::to_trash, movable && !in_trash, str::reason_special_folder);
        return;
    }
    const std::string message_dir = message_directory(folder, row.number);
    const bool received = is_received(row);
    const bool draft = row.type == type_draft;
    states.set(cmd::open_all_headers, true);
    states.set(cmd::move, true);
    states.set(cmd::to_trash, !in_trash);
    states.set(cmd::address_list, !received || names_people(message_dir));
    states.set(cmd::reply, received);
    states.set(cmd::forward, received);
    states.set(cmd::attachment_list, draft || has_part_beyond_text(message_dir));
    states.set(cmd::rename, draft, str::reason_rename_drafts_only);
    states.set(cmd::resend, row.type == type_sent, str::reason_no_sent_mail);
}

// The 送信 command sends drafts from where drafts wait: the drafts folder
// and the outbox.
bool drafts_to_send(std::string_view account_root, std::string_view folder, const std::vector<mail_row>& rows,
                    const std::vector<int>& valid_selection, int focused) {
    const std::optional<special_folder> kind = which_special_folder(account_root, folder);
    if (kind != special_folder::drafts && kind != special_folder::outbox) return false;
    std::vector<int> acting = valid_selection;
    if (acting.empty() && focused >= 0 && static_cast<std::size_t>(focused) < rows.size()) acting.push_back(focused);
    if (acting.empty()) return false;
    for (int index : acting) {
        const mail_row& row = rows[static_cast<std::size_t>(index)];
        if (row.is_folder() || row.type != type_draft) return false;
    }
    return true;
}

}  // namespace

command_states command_states::without_account() {
    command_states states;
    for (int command = cmd::open; command <= cmd::search_text; ++command) states.set(command, false);
    for (int command : {cmd::send, cmd::arrange_rules, cmd::tree_rename, cmd::tree_new_folder}) states.set(command, false);
    return states;
}

bool command_states::enabled(int command) const {
    if (command == cmd::tree_new_folder && !on_.contains(command)) command = cmd::new_folder;
    auto found = on_.find(command);
    return found == on_.end() || found->second;
}

void command_states::set(int command, bool on, int reason) {
    on_[command] = on;
    if (on || reason == 0) reasons_.erase(command);
    else reasons_[command] = reason;
}

int command_states::reason(int command) const {
    if (command == cmd::tree_new_folder && !on_.contains(command)) command = cmd::new_folder;
    auto found = reasons_.find(command);
    return found == reasons_.end() || enabled(command) ? 0 : found->second;
}

command_states compute_command_states(std::string_view account_root, std::string_view folder,
                                      const std::vector<mail_row>& rows, const std::vector<int>& selected,
                                      int focused) {
    command_states states;
    const bool at_root = folder == account_root;
    states.set(cmd::root_folder, !at_root);
    states.set(cmd::parent_folder, !at_root);
    const std::optional<special_folder> special = which_special_folder(account_root, folder);
    states.set(cmd::new_folder, !is_mail_folder(special), str::reason_no_folder_here);
    states.set(cmd::tree_rename, !at_root && !special, at_root ? str::reason_account_folder : str::reason_special_folder);

    std::vector<int> valid_selection;
    for (int index : selected) {
        if (index >= 0 && static_cast<std::size_t>(index) < rows.size()) valid_selection.push_back(index);
    }
    const bool in_trash = lies_in_trash(account_root, folder);
    if (valid_selection.size() >= 2) {
        for (int command : {cmd::open, cmd::open_all_headers, cmd::move}) states.set(command, true);
        bool sent = false;
        for (int index : valid_selection) sent = sent || rows[static_cast<std::size_t>(index)].type == type_sent;
        states.set(cmd::resend, sent, str::reason_no_sent_mail);
        for (int command : {cmd::address_list, cmd::attachment_list, cmd::reply, cmd::forward, cmd::rename})
            states.set(command, false);
        states.set(cmd::to_trash, !in_trash);
    } else if (const mail_row* row = single_row(rows, valid_selection, focused)) {
        set_row_commands(states, folder, *row, in_trash);
    } else {
        for (int command = cmd::open; command <= cmd::to_trash; ++command) states.set(command, false);
    }
    states.set(cmd::send, drafts_to_send(account_root, folder, rows, valid_selection, focused), str::reason_no_draft);
    return states;
}

bool is_special_row(const mail_row& row) {
    return row.is_folder() && (row.is_parent() || is_reserved_folder_name(row.text[column_subject]));
}

}  // namespace qm
