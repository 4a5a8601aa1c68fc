#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "config/layout.h"
#include "navigator/command_states.h"
#include "navigator/navigator.h"

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace qm {

// The main window's commands as the user reaches them: one action per
// command number (label, icon, tool tip, the reason it is off), the menu
// bar, the toolbar, the pop-up menus and the menus that list accounts,
// entries and marks. Every action hands its number to `run`; the window
// decides what it does.
class window_actions : public QObject {
    Q_OBJECT
public:
    window_actions(QMainWindow* window, std::function<void(int command)> run);

    QAction* action(int command) const;
    QMenu* mail_popup() const { return mail_popup_; }
    QMenu* list_popup() const { return list_popup_; }
    QMenu* tree_popup() const { return tree_popup_; }
    QMenu* sort_menu() const { return sort_menu_; }

    // Which commands are on, each off one telling why in its status tip;
    // the move command names its fixed target; the sort order's mark.
    void show_states(const command_states& states, const navigator& nav);
    void show_sort(const sort_state& sort);
    void rebuild_account_menu(const std::vector<std::string>& titles);
    // The address book, groups, signatures and templates of the account.
    void rebuild_list_menus(const std::string& account_root);
    void rebuild_mark_menus(const std::array<std::string, layout_mark_count>& marks);

private:
    void build_actions();
    void build_menus(QMainWindow* window);
    void build_toolbar(QMainWindow* window);
    void add(int command);
    void add_entry(QMenu* menu, const QString& text, int command);

    std::function<void(int)> run_;
    std::map<int, QAction*> actions_;
    std::map<int, QString> plain_tips_;
    std::map<int, QString> base_tooltips_;  // the toolbar's tips, before a reason is added
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
};

}  // namespace qm
