#include "app/window_actions.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "app/icons.h"
#include "config/address_book.h"
#include "config/signatures.h"
#include "navigator/command_ids.h"
#include "navigator/folder_marks.h"
#include "platform/string_table.h"
#include "store/entry_limits.h"
#include "store/folder_moves.h"
#include "store/mailbox_layout.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// A command's menu label is the string-table text of this number plus the
// command number.
constexpr int menu_label_base = 3000;

QString label(int command) { return qs(load_string(menu_label_base + command)); }
QString text_of(int id) { return qs(load_string(id)); }

// The toolbar's buttons, 0 for a separator.
constexpr int toolbar_layout[] = {cmd::open,       cmd::open_all_headers, cmd::address_list, cmd::attachment_list, 0,
                                  cmd::reply,      cmd::forward,          cmd::resend,       cmd::send,         0,
                                  cmd::move,       cmd::rename,           cmd::to_trash,     0,
                                  cmd::new_folder, cmd::new_mail,         0,
                                  cmd::select_all, 0,
                                  cmd::send_receive, cmd::send_receive_all, 0,
                                  cmd::arrange,    0,
                                  cmd::empty_trash, 0,
                                  cmd::root_folder, cmd::parent_folder, 0,
                                  cmd::search_text};

}  // namespace

window_actions::window_actions(QMainWindow* window, std::function<void(int)> run)
    : QObject(window), run_(std::move(run)) {
    build_actions();
    build_menus(window);
    build_toolbar(window);
}

QAction* window_actions::action(int command) const {
    auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

void window_actions::add(int command) {
    auto* act = new QAction(label(command), this);
    const QString plain = without_mnemonic(act->text());
    act->setStatusTip(plain);
    plain_tips_[command] = plain;
    if (command >= cmd::toolbar_first && command <= cmd::toolbar_last) {
        act->setIcon(command_icon(command));
        act->setToolTip(text_of(cmd::toolbar_tip_first_string + command - cmd::toolbar_first));
    }
    connect(act, &QAction::triggered, this, [this, command] { run_(command); });
    actions_[command] = act;
}

void window_actions::build_actions() {
    for (int command = cmd::close; command <= cmd::search_text; ++command) {
        if (command != cmd::refresh_all && command != cmd::select_account) add(command);
    }
    for (int command : {cmd::view_options, cmd::function_options, cmd::arrange_rules, cmd::manual, cmd::about,
                        cmd::tree_rename, cmd::tree_new_folder, cmd::send})
        add(command);
    actions_[cmd::send]->setIcon(command_icon(cmd::send));
    actions_[cmd::send]->setToolTip(text_of(str::tip_send));
    auto* sort_group = new QActionGroup(this);
    for (int column = 0; column < cmd::sort_column_count; ++column) {
        add(cmd::sort_first + column);
        QAction* act = actions_[cmd::sort_first + column];
        act->setCheckable(true);
        sort_group->addAction(act);
    }
}

void window_actions::build_menus(QMainWindow* window) {
    auto section = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) menu->addSeparator();
            else menu->addAction(actions_[id]);
        }
    };
    QMenuBar* bar = window->menuBar();
    QMenu* mail = bar->addMenu(text_of(str::menu_mail));
    section(mail, {cmd::open, cmd::open_all_headers, cmd::address_list, cmd::attachment_list, 0, cmd::reply,
                   cmd::forward, cmd::resend, cmd::send, 0, cmd::move, cmd::rename, cmd::to_trash, 0, cmd::new_folder,
                   cmd::new_mail, 0, cmd::close});
    QMenu* edit = bar->addMenu(text_of(str::menu_edit));
    section(edit, {cmd::select_all, 0, cmd::send_receive, cmd::send_receive_all, 0, cmd::arrange, 0, cmd::empty_trash});

    QMenu* view = bar->addMenu(text_of(str::menu_view));
    sort_menu_ = view->addMenu(text_of(str::menu_sort));
    for (int column = 0; column < cmd::sort_column_count; ++column) sort_menu_->addAction(actions_[cmd::sort_first + column]);
    view->addSeparator();
    section(view, {cmd::root_folder, cmd::parent_folder});
    mark_menu_ = view->addMenu(text_of(str::menu_mark_folder));
    go_mark_menu_ = view->addMenu(text_of(str::menu_go_to_mark));
    for (int mark = 0; mark < cmd::mark_count; ++mark) {
        add_entry(mark_menu_, {}, cmd::mark_folder_first + mark);
        add_entry(go_mark_menu_, {}, cmd::go_to_mark_first + mark);
    }
    view->addSeparator();
    view->addAction(actions_[cmd::search_text]);

    QMenu* settings = bar->addMenu(text_of(str::menu_settings));
    QMenu* options = settings->addMenu(text_of(str::menu_options));
    section(options, {cmd::view_options, cmd::function_options});
    settings->addSeparator();
    address_menu_ = settings->addMenu(text_of(str::menu_address_books));
    group_menu_ = settings->addMenu(text_of(str::menu_groups));
    settings->addSeparator();
    account_menu_ = settings->addMenu(text_of(str::menu_accounts));
    settings->addSeparator();
    signature_menu_ = settings->addMenu(text_of(str::menu_signatures));
    template_menu_ = settings->addMenu(text_of(str::menu_templates));
    settings->addSeparator();
    settings->addAction(actions_[cmd::arrange_rules]);

    QMenu* help = bar->addMenu(text_of(str::menu_help));
    section(help, {cmd::manual, 0, cmd::about});

    // The item under the mouse is described in the status bar.
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        connect(menu, &QMenu::hovered, window,
                [window](QAction* act) { window->statusBar()->showMessage(act->statusTip()); });
    }

    mail_popup_ = new QMenu(window);
    section(mail_popup_, {cmd::open, cmd::open_all_headers, cmd::address_list, cmd::attachment_list, 0, cmd::reply,
                          cmd::forward, cmd::resend, cmd::send, 0, cmd::move, cmd::rename, cmd::to_trash});
    list_popup_ = new QMenu(window);
    section(list_popup_, {cmd::new_folder, cmd::new_mail, 0, cmd::select_all, 0, cmd::send_receive,
                          cmd::send_receive_all, 0, cmd::arrange, 0, cmd::empty_trash, 0});
    list_popup_->addMenu(sort_menu_);
    list_popup_->addSeparator();
    section(list_popup_, {cmd::root_folder, cmd::parent_folder});
    list_popup_->addMenu(mark_menu_);
    list_popup_->addMenu(go_mark_menu_);
    list_popup_->addSeparator();
    list_popup_->addAction(actions_[cmd::search_text]);
    tree_popup_ = new QMenu(window);
    section(tree_popup_, {cmd::tree_rename, 0, cmd::tree_new_folder});
}

void window_actions::build_toolbar(QMainWindow* window) {
    QToolBar* toolbar = window->addToolBar(qs(load_string(str::product_name)));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    for (int id : toolbar_layout) {
        if (id == 0) toolbar->addSeparator();
        else toolbar->addAction(actions_[id]);
    }
}

void window_actions::add_entry(QMenu* menu, const QString& text, int command) {
    QAction* entry = menu->addAction(text);
    connect(entry, &QAction::triggered, this, [this, command] { run_(command); });
}

void window_actions::show_states(const command_states& states, const navigator& nav) {
    for (auto& [id, act] : actions_) {
        const bool on = states.enabled(id);
        act->setEnabled(on);
        // A command that is off says why where that is not plain to see.
        const int reason = states.reason(id);
        const bool say_why = !on && reason != 0;
        act->setStatusTip(say_why ? plain_tips_[id] + QStringLiteral(" — ") + text_of(reason) : plain_tips_[id]);
        if (!base_tooltips_.contains(id)) base_tooltips_[id] = act->toolTip();
        act->setToolTip(say_why ? base_tooltips_[id] + QLatin1Char('\n') + text_of(reason) : base_tooltips_[id]);
    }
    // The move command says where it goes when it goes without asking.
    const std::string root = nav.account_root();
    const std::optional<std::string> fixed = root.empty() ? std::nullopt : fixed_move_target(root, nav.folder);
    const int move_label = !fixed                                                  ? menu_label_base + cmd::move
                           : *fixed == special_folder_in(root, special_folder::drafts) ? str::menu_move_to_drafts
                                                                                   : str::menu_move_to_outbox;
    actions_[cmd::move]->setText(text_of(move_label));
}

void window_actions::show_sort(const sort_state& sort) {
    const int column = sort.column >= 0 && sort.column < cmd::sort_column_count ? sort.column : 0;
    actions_[cmd::sort_first + column]->setChecked(true);
}

void window_actions::rebuild_account_menu(const std::vector<std::string>& titles) {
    account_menu_->clear();
    add_entry(account_menu_, text_of(str::menu_new_entry), cmd::account_new);
    account_menu_->addSeparator();
    for (std::size_t i = 0; i < titles.size(); ++i) add_entry(account_menu_, qs(titles[i]), cmd::account_new + 1 + static_cast<int>(i));
}

void window_actions::rebuild_list_menus(const std::string& account_root) {
    struct list_menu {
        QMenu* menu;
        int base;
        std::function<bool(int, std::string&)> name;
    };
    const list_menu menus[] = {
        {address_menu_, cmd::address_book_new, [](int i, std::string& name) { return address_entry_name(i, name); }},
        {group_menu_, cmd::group_new, [](int i, std::string& name) { return group_name(i, name); }},
        {signature_menu_, cmd::signature_new,
         [&account_root](int i, std::string& name) { return !account_root.empty() && signature_name(account_root, i, name); }},
        {template_menu_, cmd::template_new,
         [&account_root](int i, std::string& name) { return !account_root.empty() && template_name(account_root, i, name); }},
    };
    for (const list_menu& entry : menus) {
        entry.menu->clear();
        add_entry(entry.menu, text_of(str::menu_new_entry), entry.base);
        // Signatures and templates belong to an account: without one, none.
        entry.menu->actions().front()->setEnabled(!account_root.empty() || entry.base < cmd::signature_new);
        entry.menu->addSeparator();
        std::string name;
        for (int i = 0; i < max_accounts && entry.name(i, name); ++i) add_entry(entry.menu, qs(name), entry.base + 1 + i);
    }
}

void window_actions::rebuild_mark_menus(const std::array<std::string, layout_mark_count>& marks) {
    const QList<QAction*> set = mark_menu_->actions(), go = go_mark_menu_->actions();
    for (int mark = 0; mark < cmd::mark_count; ++mark) {
        const QString text = qs(mark_menu_label(mark, marks[static_cast<std::size_t>(mark)]));
        set[mark]->setText(text);
        go[mark]->setText(text);
    }
}

}  // namespace qm
