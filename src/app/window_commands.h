#pragma once

#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "navigator/navigator.h"
#include "platform/reporter.h"
#include "store/mail_list.h"

class QWidget;

namespace qm {

struct new_mail_start;

// The main window's commands on mail, folders and settings, each a
// function of where the window stands (the navigator, which it may move)
// and of the rows it acts on. Each says what has to be shown anew, and the
// window shows each part once.

enum refresh_flag : unsigned {
    refresh_none = 0,
    refresh_list = 1,       // the folder's rows are read again
    refresh_place = 2,      // the folder shown changed: the tree's selection, then the rows
    refresh_tree = 4,       // folders came, went or were renamed
    refresh_accounts = 8,   // the account list changed
    refresh_entries = 16,   // the address book, groups, signatures or templates changed
    refresh_marks = 32,     // the marks changed
    refresh_view = 64,      // the view settings changed
};

struct command_result {
    unsigned refresh = refresh_none;
    std::string focus;  // the row to focus afterwards (row_key); empty: the one focused stays
};

struct command_scope {
    QWidget* window;
    navigator& nav;
    Settings& settings;
    const std::vector<mail_row>& rows;  // the list shown
    std::vector<int> acting;            // the selected rows, else the focused one
    int focused = -1;
    reporter& report;
    // Shows these parts at once while the command still runs (the round of
    // all accounts visiting one account after the other).
    std::function<void(unsigned refresh)> show_now;
};

// Runs command `id` (a number of the command table, ranges included); a
// number the window answers itself (close, the pop-ups, select all, the
// tray) does nothing here.
command_result run_window_command(int id, command_scope& scope);

// 新規メール作成 with its fields filled in (a mailto: link).
command_result write_new_mail(command_scope& scope, const new_mail_start& start);

// The chosen rows dropped on a folder of the tree or the list: moved into `target`.
command_result move_rows_into(command_scope& scope, const std::string& target);

// A folder of the tree dropped on a folder (`target`) of the tree or the list.
command_result move_folder_into(command_scope& scope, const std::string& folder, const std::string& target);

// Sends one draft (its message directory) of whatever account: the editor's 送信.
command_result send_one_draft(command_scope& scope, const std::string& message_dir);

}  // namespace qm
