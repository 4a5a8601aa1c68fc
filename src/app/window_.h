#pragma once

#include <QMainWindow>
#include <map>
#include <string>
#include <vector>

#include "config/account_settings.h"
#include "config/layout.h"
#include "config/settings.h"
#include "platform/reporter.h"
#include "store/command_states.h"
#include "store/mail_list.h"
#include "app/new_mail_checker.h"
#include "app/tray_icon.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace qm {

class edit_preview;
class listview_mail;
class treeview_tree;

// The main window: the account selector, the folder tree, the mail list and
// the preview, with the menus, the toolbar and the keys. Every action
// arrives as a command number at on_command, which checks the command's
// state and calls the core.
struct new_mail_start;

class window_ : public QMainWindow {
    Q_OBJECT
public:
    window_(Settings& settings, Layout& layout);

    // The first steps after the window is shown: the account list, the
    // folder of the last run, the maximized state.
    void start();
    void on_command(int id, int argument = 0);
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
    QComboBox* account_selector() const { return accounts_; }
    QLabel* count_strip() const { return count_; }
    const std::string& folder() const { return folder_; }
    const command_states& states() const { return states_; }
    QAction* action(int id) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build_actions();
    void build_menus();
    void build_toolbar();
    void build_views();
    void apply_view_settings();
    void restore_geometry();
    void record_geometry();
    void apply_outer_size_once_framed();
    void apply_pane_sizes();

    void refresh_all();
    void select_account(int index);
    void show_folder(const std::string& folder, const std::string& row_to_focus = {});
    void refill_list(const std::string& row_to_focus = {});
    void sort_by(int column);
    void enter_focused_folder();
    void go_to_parent();
    void change_search_text();
    void set_mark(int mark);
    void go_to_mark(int mark);
    void show_mail_popup(bool at_focus, const QPoint& global_position);
    void show_sort_popup();
    void run_letter_command(int letter_index);
    void run_options(int id);
    void run_settings_list_command(int id);
    void run_account(int index, reporter& report);

    void open_focused(bool all_headers);
    void run_round(bool all_accounts);
    void send_drafts();
    void go_to_background();
    void restore_from_background();
    void new_mail_in_background();
    // Writing mail: new mail, reply and forward (their dialogs), resend.
    void write_mail(int id);
    void write_mail(int id, const new_mail_start& start);
    void resend_selection();
    void show_address_list();
    void show_attachment_list();
    const mail_row* single_mail_row() const;
    void move_rows_to(const std::string& target);
    void move_selection();
    void rename_focused();
    void make_folder_here();
    void arrange_now();
    void empty_the_trash();
    void rename_tree_folder();
    void move_tree_folder(const std::string& folder, const std::string& target);
    std::vector<int> acting_rows() const;
    void rebuild_tree();

    void update_after_selection();
    void update_preview();
    void update_states();
    void update_count_strip();
    void rebuild_account_menu();
    void rebuild_list_menus();
    void rebuild_mark_menus();
    void apply_column_widths();
    bool may_close();
    void end_running_work();
    void save_layout_now();

    std::string relative_folder() const;
    std::string account_name() const;

    Settings& settings_;
    Layout& layout_;
    std::string mailbox_, account_root_, folder_, search_;
    std::vector<std::string> account_names_;
    std::vector<std::string> account_folders_;  // the folder each selector entry shows, relative to the mailbox
    current_account account_;
    sort_state sort_;
    command_states states_;
    std::string preview_text_;
    bool pending_outer_size_ = false;
    // In the background (the notification area, or minimized without one):
    // the periodic check runs and new mail is announced.
    tray tray_;
    new_mail_checker checker_;
    bool in_tray_ = false;
    bool panes_pending_ = true;

    std::map<int, QAction*> actions_;
    QMenu* sort_menu_ = nullptr;
    QMenu* mark_menu_ = nullptr;
    QMenu* go_mark_menu_ = nullptr;
    QMenu* address_menu_ = nullptr;
    QMenu* group_menu_ = nullptr;
    QMenu* account_menu_ = nullptr;
    QMenu* signature_menu_ = nullptr;
    QMenu* template_menu_ = nullptr;
    QMenu* mail_popup_ = nullptr;
    QMenu* list_popup_ = nullptr;
    QMenu* tree_popup_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QComboBox* accounts_ = nullptr;
    QLabel* count_ = nullptr;
    QSplitter* tree_splitter_ = nullptr;
    QSplitter* preview_splitter_ = nullptr;
    treeview_tree* tree_ = nullptr;
    listview_mail* list_ = nullptr;
    edit_preview* preview_ = nullptr;
};

}  // namespace qm
