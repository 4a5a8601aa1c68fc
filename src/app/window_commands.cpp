#include "app/window_commands.h"

#include <QApplication>
#include <algorithm>

#include "app/window_rounds.h"
#include "config/account_settings.h"
#include "navigator/command_ids.h"
#include "navigator/command_table.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "store/arrange_rules.h"
#include "store/compose.h"
#include "store/folder_moves.h"
#include "store/folder_operations.h"
#include "store/mailbox_layout.h"
#include "store/message_opening.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "store/trash_operations.h"
#include "ui/dialog_account.h"
#include "ui/dialog_address.h"
#include "ui/dialog_alias.h"
#include "ui/dialog_arrange.h"
#include "ui/dialog_attachment.h"
#include "ui/dialog_folder_choice.h"
#include "ui/dialog_forward.h"
#include "ui/dialog_group.h"
#include "ui/dialog_make_mail.h"
#include "ui/dialog_name.h"
#include "ui/dialog_options.h"
#include "ui/dialog_reply.h"
#include "ui/dialog_signature.h"
#include "ui/dialog_template.h"
#include "ui/manual.h"
#include "ui/message_box.h"
#include "ui/wait_cursor.h"

namespace qm {

namespace {

const mail_row* row_at(const command_scope& scope, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < scope.rows.size() ? &scope.rows[static_cast<std::size_t>(index)]
                                                                              : nullptr;
}

// The one mail a command on a single mail acts on.
const mail_row* single_mail(const command_scope& scope) {
    if (scope.acting.size() != 1) return nullptr;
    const mail_row* row = row_at(scope, scope.acting.front());
    return row && !row->folder ? row : nullptr;
}

std::string message_dir_of(const command_scope& scope, const mail_row& row) {
    return message_directory(scope.nav.folder, row.number);
}

compose_context compose_context_of(const command_scope& scope) {
    return {scope.nav.mailbox, scope.nav.account_root(), context().work_directory,
            load_current_account(scope.nav.mailbox, scope.nav.account_title())};
}

// The window stands somewhere else now; `focus` names the row to focus.
command_result moved(std::optional<std::string> focus) {
    if (!focus) return {};
    return {refresh_place, *focus};
}

// ---- reading ----

command_result open_focused(command_scope& scope, bool all_headers) {
    const mail_row* row = row_at(scope, scope.focused);
    if (!row) return {};
    if (row->folder) return moved(enter_row(scope.nav, *row));
    const open_outcome outcome =
        open_message(scope.nav.folder, scope.nav.account_root(), row->number, all_headers, scope.report);
    return {outcome.became_read ? refresh_list : refresh_none, {}};
}

command_result show_address_list(command_scope& scope) {
    const mail_row* row = single_mail(scope);
    if (!row) return {};
    run_address_list_dialog(scope.window, message_dir_of(scope, *row), row->type == type_draft, scope.report);
    // Registering an address may rename the sender shown.
    return {refresh_list | refresh_entries, {}};
}

command_result show_attachment_list(command_scope& scope) {
    const mail_row* row = single_mail(scope);
    if (!row) return {};
    const bool changed = run_attachment_dialog(scope.window, message_dir_of(scope, *row), row->type == type_draft,
                                               scope.settings, scope.report);
    return {changed ? refresh_list : refresh_none, {}};
}

// ---- writing ----

command_result write_mail(command_scope& scope, int id, const new_mail_start& start) {
    const compose_context ctx = compose_context_of(scope);
    if (ctx.account.address.empty()) {
        scope.report.notice(str::account_incomplete);
        return {};
    }
    int draft = -1;
    if (id == cmd::new_mail) {
        draft = run_make_mail_dialog(scope.window, ctx, start, scope.report);
    } else if (const mail_row* row = single_mail(scope)) {
        const std::string source = message_dir_of(scope, *row);
        draft = id == cmd::reply ? run_reply_dialog(scope.window, ctx, source, scope.report)
                                 : run_forward_dialog(scope.window, ctx, source, scope.report);
    }
    // The source shows its R or F, and the drafts folder, when shown, its new draft.
    return {draft >= 0 ? refresh_list : refresh_none, {}};
}

// Every chosen sent mail becomes a new draft, after one question.
command_result resend_chosen(command_scope& scope) {
    std::vector<std::string> sources;
    for (int index : scope.acting) {
        const mail_row* row = row_at(scope, index);
        if (row && !row->folder && row->type == type_sent) sources.push_back(message_dir_of(scope, *row));
    }
    if (sources.empty() || !scope.report.confirm(str::compose_confirm_resend)) return {};
    const compose_context ctx = compose_context_of(scope);
    for (const std::string& source : sources) {
        if (resend_message(ctx, source, scope.report) < 0) break;
    }
    return {refresh_list, {}};
}

// ---- moving, renaming, making ----

command_result move_chosen_to(command_scope& scope, const std::string& target) {
    std::vector<selected_row> chosen;
    bool folders = false;
    for (int index : scope.acting) {
        const mail_row* row = row_at(scope, index);
        if (!row || row->parent) continue;
        folders = folders || row->folder;
        chosen.push_back({row->folder, row_key(*row), row->type});
    }
    if (chosen.empty()) return {};
    wait_cursor busy;
    move_rows({scope.nav.mailbox, scope.nav.account_root(), scope.nav.folder}, target, chosen, scope.report);
    return {refresh_list | (folders ? refresh_tree : refresh_none), {}};
}

command_result move_chosen(command_scope& scope) {
    std::optional<std::string> target = fixed_move_target(scope.nav.account_root(), scope.nav.folder);
    if (!target) target = choose_folder(scope.window, scope.nav.mailbox, scope.nav.account_root());
    return target ? move_chosen_to(scope, *target) : command_result{};
}

command_result rename_focused(command_scope& scope) {
    const mail_row* row = row_at(scope, scope.focused);
    if (!row || row->parent) return {};
    const mail_row shown = *row;
    const std::string& folder = scope.nav.folder;
    if (shown.folder) {
        std::optional<std::string> name =
            ask_folder_name(scope.window, load_string(str::new_folder_title), shown.text[column_subject],
                     [&](const std::string& text) { return rename_folder(folder, shown.text[column_subject], text, scope.report); });
        return name ? command_result{refresh_list | refresh_tree, *name} : command_result{};
    }
    std::optional<std::string> subject =
        ask_name(scope.window, load_string(str::new_subject_title), shown.text[column_subject], name_field_limit,
                 [&](const std::string& text) { return change_subject(folder, shown.text[column_number], text, scope.report); });
    return {subject ? refresh_list : refresh_none, {}};
}

command_result make_folder_here(command_scope& scope) {
    const std::string folder = scope.nav.folder;
    std::optional<std::string> name =
        ask_folder_name(scope.window, load_string(str::new_folder_title), {},
                 [&](const std::string& text) { return make_folder(folder, text, scope.report); });
    return name ? command_result{refresh_list | refresh_tree, *name} : command_result{};
}

// The tree's rename: the folder's row is shown in its parent, then renamed
// as a row would be. The rename needs only the folder's own row: the parent
// is read once, when it is shown.
command_result rename_tree_folder(command_scope& scope) {
    const std::optional<std::string> left = go_to_parent(scope.nav);
    if (!left) return {};
    const std::vector<mail_row> rows{folder_row(*left)};
    command_scope parent_scope{scope.window, scope.nav, scope.settings, rows, {}, 0, scope.report, scope.show_now};
    command_result renamed = rename_focused(parent_scope);
    return {renamed.refresh | refresh_place | refresh_tree, renamed.focus.empty() ? *left : renamed.focus};
}

command_result arrange_now(command_scope& scope) {
    if (!scope.report.confirm(str::confirm_arrange)) return {};
    wait_cursor busy;
    const std::string root = scope.nav.account_root();
    for (special_folder sorted : {special_folder::inbox, special_folder::sent})
        arrange_run(special_folder_in(root, sorted), root, scope.report);
    return {refresh_list, {}};
}

command_result empty_the_trash(command_scope& scope) {
    const empty_trash_result result = empty_trash(scope.nav.account_root(), scope.nav.folder, scope.report);
    if (result.cancelled) return {};
    if (result.show_folder) show_folder(scope.nav, *result.show_folder);
    return {refresh_place | refresh_tree, {}};
}

// ---- sending and receiving ----

window_round_hooks round_hooks(command_scope& scope) {
    window_round_hooks hooks;
    // New mail is shown once the round is over.
    hooks.show_inbox = [&scope](std::string_view inbox) { show_folder(scope.nav, inbox); };
    hooks.visiting_account = [&scope](std::string_view title) {
        if (select_account(scope.nav, title, folder_on_disk) && scope.show_now) scope.show_now(refresh_place | refresh_tree);
    };
    return hooks;
}

command_result run_round(command_scope& scope, bool all_accounts) {
    if (!scope.nav.has_account()) return {};
    if (!all_accounts) {
        run_send_receive(scope.window, scope.nav.mailbox, scope.nav.account_title(), round_hooks(scope));
        return {refresh_place, {}};
    }
    const std::string current = scope.nav.account_title();
    run_send_receive_all(scope.window, scope.nav.mailbox, round_hooks(scope));
    select_account(scope.nav, current, folder_on_disk);
    return {refresh_place | refresh_tree, {}};
}

// The chosen drafts go into the outbox, then the outbox is sent.
command_result send_chosen_drafts(command_scope& scope) {
    if (!scope.nav.has_account() || !round_may_start(scope.window)) return {};
    const std::string outbox = special_folder_in(scope.nav.account_root(), special_folder::outbox);
    if (scope.nav.folder != outbox) move_chosen_to(scope, outbox);
    run_send_queued(scope.window, scope.nav.mailbox, scope.nav.account_title(), {});
    return {refresh_list, {}};
}

// ---- settings ----

command_result run_options(command_scope& scope, int id) {
    const int result = id == cmd::view_options ? run_view_options(scope.window, scope.settings, scope.report)
                                               : run_function_options(scope.window, scope.settings, scope.report);
    if (result != 1) return {};
    // A new mailbox folder takes the account list and the folder shown with it.
    const std::string relative = scope.nav.relative_folder();
    scope.nav.folder = scope.settings.mailbox + relative;
    scope.nav.mailbox = scope.settings.mailbox;
    return {refresh_view | refresh_accounts, {}};
}

command_result run_account(command_scope& scope, int index) {
    if (index >= static_cast<int>(scope.nav.accounts.size())) return {};
    const std::string* title = index < 0 ? nullptr : &scope.nav.accounts[static_cast<std::size_t>(index)];
    const account_dialog_result result = run_account_dialog(scope.window, scope.nav.mailbox, title, scope.report);
    using outcome = account_dialog_result::outcome;
    if (result.what == outcome::cancelled) return {};
    if (result.what == outcome::saved && !result.old_title.empty() && result.old_title != result.new_title)
        account_renamed(scope.nav, result.old_title, result.new_title);
    return {refresh_accounts, {}};
}

command_result run_settings_list(command_scope& scope, const command_call& call) {
    const std::string root = scope.nav.account_root();
    switch (call.command) {
    case cmd::address_book_new:
        // A renamed entry may also have changed the account's automatic Cc/Bcc, and the senders shown.
        return {run_address_dialog(scope.window, call.index, scope.report) ? refresh_entries | refresh_list : refresh_none, {}};
    case cmd::group_new:
        return {run_group_dialog(scope.window, call.index, scope.report) ? refresh_entries : refresh_none, {}};
    case cmd::account_new:
        return run_account(scope, call.index);
    case cmd::signature_new:
        if (root.empty()) return {};
        return {run_signature_dialog(scope.window, root, call.index, scope.report) ? refresh_entries : refresh_none, {}};
    case cmd::template_new:
        if (root.empty()) return {};
        return {run_template_dialog(scope.window, root, call.index, scope.report) ? refresh_entries : refresh_none, {}};
    default:
        return {};
    }
}

// ---- where the window stands ----

command_result sort_by(command_scope& scope, int column) {
    // The thread order sorts by the conversations' keys whether their column shows or not.
    choose_sort_column(scope.nav.sort, column);
    return {refresh_list, {}};
}

command_result change_search_text(command_scope& scope) {
    return {ask_search_text(scope.window, scope.nav.search) ? refresh_list : refresh_none, {}};
}

}  // namespace

command_result run_window_command(int id, command_scope& scope) {
    const command_call call = decode_command(id);
    switch (call.command) {
    case cmd::mark_folder_first:
        set_mark(scope.nav, call.index);
        return {refresh_marks, {}};
    case cmd::go_to_mark_first:
        return {go_to_mark(scope.nav, call.index, folder_on_disk) ? refresh_place : refresh_none, {}};
    case cmd::sort_first:
        return sort_by(scope, call.index);
    case cmd::address_book_new:
    case cmd::group_new:
    case cmd::account_new:
    case cmd::signature_new:
    case cmd::template_new:
        return run_settings_list(scope, call);
    case cmd::open:
        return open_focused(scope, QApplication::keyboardModifiers() & Qt::ShiftModifier);
    case cmd::open_all_headers:
        return open_focused(scope, true);
    case cmd::address_list:
        return show_address_list(scope);
    case cmd::attachment_list:
        return show_attachment_list(scope);
    case cmd::reply:
    case cmd::forward:
    case cmd::new_mail:
        return write_mail(scope, id, {});
    case cmd::resend:
        return resend_chosen(scope);
    case cmd::move:
        return move_chosen(scope);
    case cmd::to_trash:
        return move_chosen_to(scope, special_folder_in(scope.nav.account_root(), special_folder::trash));
    case cmd::rename:
        return rename_focused(scope);
    case cmd::new_folder:
    case cmd::tree_new_folder:
        return make_folder_here(scope);
    case cmd::tree_rename:
        return rename_tree_folder(scope);
    case cmd::arrange:
        return arrange_now(scope);
    case cmd::empty_trash:
        return empty_the_trash(scope);
    case cmd::arrange_rules:
        run_arrange_dialog(scope.window, scope.nav.folder);
        return {};
    case cmd::send_receive:
    case cmd::send_receive_all:
        return run_round(scope, id == cmd::send_receive_all);
    case cmd::send:
        return send_chosen_drafts(scope);
    case cmd::root_folder:
        go_to_root(scope.nav);
        return {refresh_place, {}};
    case cmd::parent_folder:
        return moved(go_to_parent(scope.nav));
    case cmd::search_text:
        return change_search_text(scope);
    case cmd::manual:
        open_manual(scope.report);
        return {};
    case cmd::about:
        show_about(scope.window);
        return {};
    case cmd::view_options:
    case cmd::function_options:
        return run_options(scope, id);
    default:
        return {};
    }
}

command_result move_rows_into(command_scope& scope, const std::string& target) { return move_chosen_to(scope, target); }

command_result move_folder_into(command_scope& scope, const std::string& folder, const std::string& target) {
    const folder_move_result result =
        move_folder({scope.nav.mailbox, scope.nav.account_root(), scope.nav.folder}, folder, target, scope.report);
    if (result.show_folder) show_folder(scope.nav, *result.show_folder);
    return {refresh_place | refresh_tree, {}};
}

command_result write_new_mail(command_scope& scope, const new_mail_start& start) {
    return write_mail(scope, cmd::new_mail, start);
}

command_result send_one_draft(command_scope& scope, const std::string& message_dir) {
    std::string dir = message_dir;
    if (!dir.ends_with('/')) dir += '/';
    const std::optional<draft_to_send> draft = find_draft_to_send(scope.nav.mailbox, dir);
    if (!draft) return {};
    select_account(scope.nav, draft->account_title, folder_on_disk);
    if (scope.show_now) scope.show_now(refresh_place | refresh_tree);
    if (!round_may_start(scope.window)) return {};
    if (!draft->queued) {
        const std::string drafts = special_folder_in(draft->account_root, special_folder::drafts);
        const move_result moved = move_rows({scope.nav.mailbox, draft->account_root, drafts},
                                            special_folder_in(draft->account_root, special_folder::outbox),
                                            {{false, std::to_string(draft->number), type_draft}}, scope.report);
        if (moved.moved.empty()) return {refresh_list, {}};
    }
    run_send_queued(scope.window, scope.nav.mailbox, draft->account_title, {});
    return {refresh_list, {}};
}

}  // namespace qm
