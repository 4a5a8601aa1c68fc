#pragma once

#include <QMainWindow>
#include <QTimer>
#include <string>
#include <vector>

#include "app/folder_reader.h"
#include "app/new_mail_checker.h"
#include "app/tray_icon.h"
#include "app/window_commands.h"
#include "config/layout.h"
#include "config/settings.h"
#include "navigator/command_states.h"
#include "navigator/navigator.h"

class QAction;
class QLabel;
class QSplitter;

namespace qm {

class combo_currentdir;
class edit_preview;
class list_columns;
class pane_ratios;
class listview_mail;
class treeview_tree;
class window_actions;
struct new_mail_start;

// The main window: the account selector, the folder tree, the mail list and
// the preview, with the menus, the toolbar and the keys. It shows where the
// navigator stands; every command arrives as a number at on_command, which
// checks the command's state, runs it (window_commands) and shows what it
// changed, each part once.
class window_ : public QMainWindow {
    Q_OBJECT
public:
    window_(Settings& settings, Layout& layout);

    // The first steps after the window is shown: the account list, the
    // folder of the last run, the maximized state.
    void start();
    void on_command(int id);
    // Brought to the front when Quillmere is started a second time.
    void raise_to_front();
    // The session ends (a signal): the layout is saved and the program
    // ends without asking anything.
    void end_session();
    // The desktop session asks whether it may end (log-out). With
    // interaction the close steps run and the unsent-mail question is
    // asked: false when the user keeps the session. Without it nothing is
    // asked. Agreeing ends a running round and saves the layout.
    bool agree_to_end_session(bool may_interact);
    // The new-mail dialog with its fields filled in (a mailto: link), as
    // command 214 opens it.
    void compose_new_mail(const new_mail_start& start);
    // Sends one draft (its message directory, ending with "/"), of whatever
    // account: into the outbox, then the send round; the editor's 送信. A
    // directory that is no draft of the mailbox is left alone.
    void send_draft(const std::string& message_dir);

    // For tests and the accessibility bus: what the window shows.
    listview_mail* mail_list() const { return list_; }
    treeview_tree* folder_tree() const { return tree_; }
    edit_preview* preview() const { return preview_; }
    combo_currentdir* account_selector() const { return accounts_; }
    QLabel* count_strip() const { return count_; }
    const std::string& folder() const { return nav_.folder; }
    const navigator& place() const { return nav_; }
    const command_states& states() const { return states_; }
    // Whether the folder's rows are being read (the rows shown are not yet
    // the folder's as it is now).
    bool reading() const { return reader_.reading(); }
    QAction* action(int id) const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build_views();
    void connect_views();
    void apply_view_settings();
    void restore_geometry();
    void record_geometry();
    void apply_outer_size_once_framed();

    // Runs a command of window_commands and shows what it changed.
    void run(const std::function<command_result(command_scope&)>& command);
    // `read_rows` false: the rows are read once the command has ended.
    void show_changes(unsigned refresh, const std::string& focus = {}, bool read_rows = true);
    void show_accounts();
    void refill_list(const std::string& focus);
    void empty_list_of_other_folder();
    void rows_arrived(const folder_reader::request& read, std::vector<mail_row> rows);
    void show_sort();
    void choose_account(int index);
    void run_letter_command(int letter_index);
    void show_mail_popup(bool at_focus, const QPoint& global_position);
    void show_sort_popup();
    std::vector<int> acting_rows() const;
    void drop_rows_on(const std::string& target);
    void drop_folder_on(const std::string& folder, const std::string& target);

    void go_to_background();
    void restore_from_background();
    void new_mail_in_background();
    bool may_close();
    void end_running_work();
    void save_layout_now();

    void update_after_selection();
    void update_preview();
    void update_states();
    void update_count_strip();

    Settings& settings_;
    Layout& layout_;
    navigator nav_;
    command_states states_;
    std::string preview_text_;
    // The folder's rows are read in the worker: `rows_folder_` is the folder
    // the rows shown come from, `pending_focus_` the row a command asked to
    // focus once the rows of `pending_focus_folder_` arrive.
    folder_reader reader_;
    std::string rows_folder_;
    std::string pending_focus_, pending_focus_folder_;
    bool read_after_command_ = false;
    // The count strip says that the rows are being read once a read has
    // taken half a second.
    QTimer reading_notice_;
    bool reading_shown_ = false;
    bool pending_outer_size_ = false;
    // In the background (the notification area, or minimized without one):
    // the periodic check runs and new mail is announced.
    tray tray_;
    new_mail_checker checker_;
    bool in_tray_ = false;

    window_actions* actions_ = nullptr;
    combo_currentdir* accounts_ = nullptr;
    QLabel* count_ = nullptr;
    QSplitter* tree_splitter_ = nullptr;
    QSplitter* preview_splitter_ = nullptr;
    list_columns* columns_ = nullptr;
    pane_ratios* panes_ = nullptr;
    treeview_tree* tree_ = nullptr;
    listview_mail* list_ = nullptr;
    edit_preview* preview_ = nullptr;
};

}  // namespace qm
