#include "app/window_.h"

#include <QAction>
#include <algorithm>
#include <functional>
#include <numeric>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

#include "app/edit_preview.h"
#include "app/icons.h"
#include "app/listview_mail.h"
#include "app/treeview_tree.h"
#include "app/desktop_notification.h"
#include "store/background_check.h"
#include "app/window_rounds.h"
#include "ui/view_style.h"
#include "config/address_book.h"
#include "config/signatures.h"
#include "platform/string_table.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/command_ids.h"
#include "store/compose.h"
#include "store/entry_limits.h"
#include "store/arrange_rules.h"
#include "store/folder_marks.h"
#include "store/folder_moves.h"
#include "store/folder_operations.h"
#include "store/message_opening.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "store/trash_operations.h"
#include "store/list_navigation.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "store/window_close.h"
#include "ui/dialog_account.h"
#include "ui/dialog_address.h"
#include "ui/dialog_attachment.h"
#include "ui/dialog_forward.h"
#include "ui/dialog_make_mail.h"
#include "ui/dialog_reply.h"
#include "ui/dialog_alias.h"
#include "ui/dialog_arrange.h"
#include "ui/dialog_group.h"
#include "ui/dialog_options.h"
#include "ui/dialog_signature.h"
#include "ui/dialog_template.h"
#include "ui/dialog_folder_choice.h"
#include "ui/dialog_name.h"
#include "ui/manual.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"
#include "ui/wait_cursor.h"

namespace qm {

namespace {

// The sizes the window cannot be made smaller than, from the views it holds.
constexpr int minimum_client = 220;
constexpr int pane_room = 20;
constexpr int fixed_bars_height = 24 + 20 + 28;
// A divider of a splitter is this wide.
constexpr int splitter_handle = 5;
// The column widths of the layout that the list applies; the thread column
// always opens at its default width.
constexpr int stored_width_columns = 5;
constexpr int column_padding = 16, icon_column_padding = 26;

// Where the string table keeps a command's menu label.
constexpr int menu_label_base = 3000;

QString label(int command) { return qs(load_string(menu_label_base + command)); }
QString text_of(int id) { return qs(load_string(id)); }

// The toolbar's buttons, 0 for a separator.
constexpr int toolbar_layout[] = {cmd::open,       cmd::open_all_headers, cmd::address_list, cmd::attachment_list, 0,
                                  cmd::reply,      cmd::forward,          cmd::resend,       cmd::send, 0,
                                  cmd::move,       cmd::rename,           cmd::to_trash,     0,
                                  cmd::new_folder, cmd::new_mail,         0,
                                  cmd::select_all, 0,
                                  cmd::send_receive, cmd::send_receive_all, 0,
                                  cmd::arrange,    0,
                                  cmd::empty_trash, 0,
                                  cmd::root_folder, cmd::parent_folder, 0,
                                  cmd::search_text};

// The commands the key letters give, in the order of the settings' letters;
// the first (select account) is no command.
constexpr int letter_commands[] = {0,
                                   cmd::mail_popup,
                                   cmd::new_folder,
                                   cmd::new_mail,
                                   cmd::select_all,
                                   cmd::send_receive,
                                   cmd::send_receive_all,
                                   cmd::arrange,
                                   cmd::empty_trash,
                                   cmd::sort_popup,
                                   cmd::search_text};

}  // namespace

window_::window_(Settings& settings, Layout& layout) : settings_(settings), layout_(layout) {
    setWindowTitle(qs(load_string(str::product_name)));
    setWindowIcon(main_icon());
    mailbox_ = settings_.mailbox;
    sort_ = {layout_.sort_column, layout_.sort_descending};
    build_actions();
    build_views();
    connect(&tray_, &tray::open_requested, this, [this] { on_command(cmd::tray_open); });
    connect(&tray_, &tray::exit_requested, this, [this] { on_command(cmd::tray_exit); });
    connect(&checker_, &new_mail_checker::new_mail_found, this, &window_::new_mail_in_background);
    build_menus();
    build_toolbar();
    apply_view_settings();
    restore_geometry();
}

QAction* window_::action(int id) const {
    auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

// ---- building ----

void window_::build_actions() {
    auto add = [this](int id) {
        auto* act = new QAction(label(id), this);
        const QString plain = without_mnemonic(act->text());
        act->setStatusTip(plain);
        if (id >= cmd::toolbar_first && id <= cmd::toolbar_last) {
            act->setIcon(command_icon(id));
            act->setToolTip(text_of(cmd::toolbar_tip_first_string + id - cmd::toolbar_first));
        }
        connect(act, &QAction::triggered, this, [this, id] { on_command(id); });
        actions_[id] = act;
    };
    for (int id = cmd::close; id <= cmd::search_text; ++id) {
        if (id != cmd::refresh_all && id != cmd::select_account) add(id);
    }
    for (int id : {cmd::view_options, cmd::function_options, cmd::arrange_rules, cmd::manual, cmd::about,
                   cmd::tree_rename, cmd::tree_new_folder, cmd::send})
        add(id);
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

void window_::build_menus() {
    auto section = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) menu->addSeparator();
            else menu->addAction(actions_[id]);
        }
    };
    QMenu* mail = menuBar()->addMenu(text_of(str::menu_mail));
    section(mail, {cmd::open, cmd::open_all_headers, cmd::address_list, cmd::attachment_list, 0, cmd::reply,
                   cmd::forward, cmd::resend, cmd::send, 0, cmd::move, cmd::rename, cmd::to_trash, 0, cmd::new_folder,
                   cmd::new_mail, 0, cmd::close});
    QMenu* edit = menuBar()->addMenu(text_of(str::menu_edit));
    section(edit, {cmd::select_all, 0, cmd::send_receive, cmd::send_receive_all, 0, cmd::arrange, 0, cmd::empty_trash});

    QMenu* view = menuBar()->addMenu(text_of(str::menu_view));
    sort_menu_ = view->addMenu(text_of(str::menu_sort));
    for (int column = 0; column < cmd::sort_column_count; ++column) sort_menu_->addAction(actions_[cmd::sort_first + column]);
    view->addSeparator();
    section(view, {cmd::root_folder, cmd::parent_folder});
    mark_menu_ = view->addMenu(text_of(str::menu_mark_folder));
    go_mark_menu_ = view->addMenu(text_of(str::menu_go_to_mark));
    for (int mark = 0; mark < cmd::mark_count; ++mark) {
        QAction* set = mark_menu_->addAction(QString());
        connect(set, &QAction::triggered, this, [this, mark] { on_command(cmd::mark_folder_first + mark); });
        QAction* go = go_mark_menu_->addAction(QString());
        connect(go, &QAction::triggered, this, [this, mark] { on_command(cmd::go_to_mark_first + mark); });
    }
    view->addSeparator();
    view->addAction(actions_[cmd::search_text]);

    QMenu* options_parent = menuBar()->addMenu(text_of(str::menu_settings));
    QMenu* options = options_parent->addMenu(text_of(str::menu_options));
    section(options, {cmd::view_options, cmd::function_options});
    options_parent->addSeparator();
    address_menu_ = options_parent->addMenu(text_of(str::menu_address_books));
    group_menu_ = options_parent->addMenu(text_of(str::menu_groups));
    options_parent->addSeparator();
    account_menu_ = options_parent->addMenu(text_of(str::menu_accounts));
    options_parent->addSeparator();
    signature_menu_ = options_parent->addMenu(text_of(str::menu_signatures));
    template_menu_ = options_parent->addMenu(text_of(str::menu_templates));
    options_parent->addSeparator();
    options_parent->addAction(actions_[cmd::arrange_rules]);

    QMenu* help = menuBar()->addMenu(text_of(str::menu_help));
    section(help, {cmd::manual, 0, cmd::about});

    // The item under the mouse is described in the status bar.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        connect(menu, &QMenu::hovered, this,
                [this](QAction* act) { statusBar()->showMessage(without_mnemonic(act->text())); });
    }

    mail_popup_ = new QMenu(this);
    section(mail_popup_, {cmd::open, cmd::open_all_headers, cmd::address_list, cmd::attachment_list, 0, cmd::reply,
                          cmd::forward, cmd::resend, cmd::send, 0, cmd::move, cmd::rename, cmd::to_trash});
    list_popup_ = new QMenu(this);
    section(list_popup_, {cmd::new_folder, cmd::new_mail, 0, cmd::select_all, 0, cmd::send_receive,
                          cmd::send_receive_all, 0, cmd::arrange, 0, cmd::empty_trash, 0});
    list_popup_->addMenu(sort_menu_);
    list_popup_->addSeparator();
    section(list_popup_, {cmd::root_folder, cmd::parent_folder});
    list_popup_->addMenu(mark_menu_);
    list_popup_->addMenu(go_mark_menu_);
    list_popup_->addSeparator();
    list_popup_->addAction(actions_[cmd::search_text]);
    tree_popup_ = new QMenu(this);
    section(tree_popup_, {cmd::tree_rename, 0, cmd::tree_new_folder});
    rebuild_mark_menus();
}

void window_::build_toolbar() {
    toolbar_ = addToolBar(qs(load_string(str::product_name)));
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    for (int id : toolbar_layout) {
        if (id == 0) toolbar_->addSeparator();
        else toolbar_->addAction(actions_[id]);
    }
}

void window_::build_views() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    accounts_ = new QComboBox(central);
    accounts_->setAccessibleName(QStringLiteral("account"));
    column->addWidget(accounts_);
    connect(accounts_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(account_names_.size())) select_account(index);
        list_->setFocus();
    });

    tree_splitter_ = new QSplitter(Qt::Horizontal, central);
    tree_splitter_->setChildrenCollapsible(false);
    tree_splitter_->setHandleWidth(splitter_handle);
    tree_ = new treeview_tree(tree_splitter_);
    tree_->setAccessibleName(QStringLiteral("folders"));

    auto* right = new QWidget(tree_splitter_);
    auto* right_column = new QVBoxLayout(right);
    right_column->setContentsMargins(0, 0, 0, 0);
    right_column->setSpacing(2);
    count_ = new QLabel(right);
    count_->setAccessibleName(QStringLiteral("count"));
    right_column->addWidget(count_);
    preview_splitter_ = new QSplitter(Qt::Vertical, right);
    preview_splitter_->setChildrenCollapsible(false);
    preview_splitter_->setHandleWidth(splitter_handle);
    list_ = new listview_mail(preview_splitter_);
    list_->setAccessibleName(QStringLiteral("mail list"));
    preview_ = new edit_preview(preview_splitter_);
    preview_->setAccessibleName(QStringLiteral("preview"));
    right_column->addWidget(preview_splitter_, 1);
    column->addWidget(tree_splitter_, 1);
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(true);

    connect(tree_, &treeview_tree::folder_chosen, this, [this](const std::string& folder) {
        show_folder(folder);
    });
    connect(tree_, &treeview_tree::popup_requested, this,
            [this](const QPoint& position) { tree_popup_->exec(position); });
    connect(list_, &listview_mail::command, this, [this](int id, int argument) { on_command(id, argument); });
    connect(list_, &listview_mail::letter_command, this, &window_::run_letter_command);
    connect(list_, &listview_mail::focus_account_selector, this, [this] {
        accounts_->setFocus();
        accounts_->showPopup();
    });
    connect(list_, &listview_mail::focus_preview, this, [this] { preview_->setFocus(); });
    connect(preview_, &edit_preview::back_to_list, this, [this] { list_->setFocus(); });
    connect(list_, &listview_mail::popup_requested, this,
            [this](const QPoint& position, bool over_row) {
                if (over_row) show_mail_popup(false, position);
                else list_popup_->exec(position);
            });
    // A drop is carried out once the drag has ended: the move rebuilds the
    // list the drag started from.
    connect(list_, &listview_mail::rows_dropped, this, [this](int row) {
        const mail_row* target = list_->rows_model().row_at(row);
        if (!target) return;  // the folder shown: the rows are there already
        std::string destination = folder_ + target->text[column_subject] + "/";
        if (target->parent) {
            const std::string parent = folder_.substr(0, folder_.size() - 1);
            destination = parent.substr(0, parent.rfind('/') + 1);
        }
        QTimer::singleShot(0, this, [this, destination] { move_rows_to(destination); });
    });
    connect(tree_, &treeview_tree::rows_dropped, this, [this](const std::string& target) {
        QTimer::singleShot(0, this, [this, target] { move_rows_to(target); });
    });
    connect(tree_, &treeview_tree::folder_dropped, this, [this](const std::string& folder, const std::string& target) {
        QTimer::singleShot(0, this, [this, folder, target] { move_tree_folder(folder, target); });
    });
    connect(list_, &listview_mail::focused_row_changed, this, [this](int) { update_after_selection(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { update_after_selection(); });
    // A divider the user drags gives the layout its new ratio.
    connect(tree_splitter_, &QSplitter::splitterMoved, this, [this](int position, int) {
        panes_pending_ = false;
        if (layout_.size_x > 0) layout_.tree_ratio = static_cast<float>(position) / static_cast<float>(layout_.size_x);
        update_preview();
    });
    connect(preview_splitter_, &QSplitter::splitterMoved, this, [this](int, int) {
        panes_pending_ = false;
        const QList<int> sizes = preview_splitter_->sizes();
        if (sizes.size() == 2 && layout_.size_y > 0)
            layout_.preview_ratio = static_cast<float>(sizes[1]) / static_cast<float>(layout_.size_y);
    });
}

// Font, colours and which panes are shown, from the view settings.
void window_::apply_view_settings() {
    const QFont font = view_font(settings_);
    for (QWidget* view : std::initializer_list<QWidget*>{tree_, list_, preview_, accounts_}) view->setFont(font);
    const QColor background = qcolor(settings_.back_ground), normal = qcolor(settings_.text_normal);
    for (QWidget* view : std::initializer_list<QWidget*>{tree_, list_, preview_}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, background);
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Text, normal);
        view->setPalette(palette);
    }
    list_->viewport()->setAutoFillBackground(settings_.view_preview);
    tree_->viewport()->setAutoFillBackground(settings_.view_preview);
    list_->rows_model().set_colours({background, normal, qcolor(settings_.text_directory),
                                     qcolor(settings_.text_search), qcolor(settings_.text_new)});
    list_->rows_model().set_thread_column(settings_.list_thread);
    list_->set_key_letters(settings_.keys);
    list_->set_preview_shown(settings_.view_preview);
    tree_->setVisible(settings_.view_tree);
    preview_->setVisible(settings_.view_preview);
    const int min_width = minimum_client + (settings_.view_preview ? pane_room : 0);
    const int min_height = minimum_client + fixed_bars_height + (settings_.view_tree ? pane_room : 0);
    setMinimumSize(min_width, min_height);
    apply_column_widths();
}

// Stored widths for the first five columns; a column the layout knows
// nothing of (and the thread column, always) opens at the width of its
// title with its blanks.
void window_::apply_column_widths() {
    const QFontMetrics metrics(list_->font());
    const std::vector<std::string>& titles = mail_column_titles();
    for (int column = 0; column < list_->rows_model().columnCount(); ++column) {
        int width = metrics.horizontalAdvance(qs(titles[static_cast<std::size_t>(column)])) +
                    (column == column_attribute ? icon_column_padding : column_padding);
        if (column < stored_width_columns && layout_.column_width[column] > 0) width = layout_.column_width[column];
        list_->header()->resizeSection(column, width);
    }
}

// ---- geometry ----

void window_::restore_geometry() {
    move(layout_.position_x, layout_.position_y);
    resize(layout_.size_x, layout_.size_y);
    // The stored size is the outer size: once the window manager has framed
    // the window, the frame is taken off, so that the window does not grow
    // by its frame from run to run.
    pending_outer_size_ = true;
    // When the window changes size, the list takes the difference: the tree
    // keeps its width and the preview its height.
    tree_splitter_->setStretchFactor(0, 0);
    tree_splitter_->setStretchFactor(1, 1);
    preview_splitter_->setStretchFactor(0, 1);
    preview_splitter_->setStretchFactor(1, 0);
}

// The tree's width and the preview's height are the layout's ratios of the
// window's outer size; they are set once the splitters have their real size.
void window_::apply_pane_sizes() {
    auto total = [](const QList<int>& sizes) { return std::accumulate(sizes.begin(), sizes.end(), 0); };
    const int width = total(tree_splitter_->sizes());
    const int tree_width = std::clamp(static_cast<int>(static_cast<float>(layout_.size_x) * layout_.tree_ratio), 1,
                                      std::max(1, width - 1));
    tree_splitter_->setSizes({tree_width, std::max(1, width - tree_width)});
    const int height = total(preview_splitter_->sizes());
    const int preview_height = std::clamp(static_cast<int>(static_cast<float>(layout_.size_y) * layout_.preview_ratio),
                                          1, std::max(1, height - 1));
    preview_splitter_->setSizes({std::max(1, height - preview_height), preview_height});
}

void window_::apply_outer_size_once_framed() {
    if (!pending_outer_size_ || !isVisible()) return;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.isEmpty() || frame == QSize(0, 0)) return;
    pending_outer_size_ = false;
    if (!isMaximized()) resize(layout_.size_x - frame.width(), layout_.size_y - frame.height());
}

void window_::record_geometry() {
    if (!isVisible() || isMinimized() || isMaximized() || pending_outer_size_) return;
    const QRect outer = frameGeometry();
    layout_.position_x = outer.x();
    layout_.position_y = outer.y();
    layout_.size_x = outer.width();
    layout_.size_y = outer.height();
}

void window_::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    apply_outer_size_once_framed();
    record_geometry();
    if (panes_pending_) QTimer::singleShot(0, this, &window_::apply_pane_sizes);
}

void window_::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    apply_outer_size_once_framed();
    record_geometry();
}

void window_::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (isMinimized()) {
        // From its own event: hiding the window inside its state change
        // confuses some window managers.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && !in_tray_) go_to_background();
        });
        return;
    }
    layout_.maximized = isMaximized();
    // Restored by the window manager without the tray: the check stops.
    if (!in_tray_ && checker_.running()) checker_.stop();
}

// ---- the background: the notification area and the periodic check ----

void window_::go_to_background() {
    switch (background_place_for(settings_.check_interval, tray::available())) {
    case background_place::tray:
        in_tray_ = true;
        hide();
        tray_.show();
        checker_.start(settings_.check_interval);
        break;
    case background_place::minimized:
        checker_.start(settings_.check_interval);
        break;
    case background_place::none:
        break;
    }
}

// Called twice by some trays for one click: the second does nothing.
void window_::restore_from_background() {
    checker_.stop();
    in_tray_ = false;
    tray_.hide();
    showNormal();
    raise();
    activateWindow();
}

void window_::new_mail_in_background() {
    if (in_tray_) {
        tray_.start_blinking();
        tray_.announce_new_mail();
    } else {
        announce_new_mail_on_desktop();
    }
}

// ---- start, close ----

void window_::start() {
    on_command(cmd::refresh_all);
    // An account that cannot send or receive yet is set up first.
    const int current = accounts_->currentIndex();
    if (current >= 0 && !account_complete(account_))
        QTimer::singleShot(0, this, [this, current] { on_command(cmd::account_new + 1 + current); });
    else if (settings_.check_interval != 0)
        QTimer::singleShot(0, this, &window_::showMinimized);  // straight to the background
    if (layout_.maximized) showMaximized();
    // The framing may come a little after the first show; whatever it is
    // by then stands.
    QTimer::singleShot(0, this, &window_::apply_pane_sizes);
    QTimer::singleShot(1000, this, [this] {
        apply_outer_size_once_framed();
        pending_outer_size_ = false;
        apply_pane_sizes();
        panes_pending_ = false;
    });
    list_->setFocus();
}

void window_::raise_to_front() {
    if (in_tray_) restore_from_background();
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
    if (QWindow* handle = windowHandle()) handle->requestActivate();
}

void window_::end_running_work() {
    // A running round is cancelled and its worker waited for; complete
    // downloads stay in the work directory for the next round.
    checker_.stop();
    if (round_running()) {
        cancel_running_round();
        while (round_running()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void window_::end_session() {
    end_running_work();
    save_layout_now();
    QApplication::quit();
}

bool window_::agree_to_end_session(bool may_interact) {
    end_running_work();
    if (may_interact) {
        if (in_tray_) restore_from_background();
        // A cancelled question keeps the session: agreeing anyway would end
        // the program without its layout and clean-up.
        if (!may_close()) return false;
    }
    save_layout_now();
    return true;
}

bool window_::may_close() {
    message_box_reporter report(this);
    if (settings_.arrange_at_terminate || settings_.clear_trash) {
        wait_cursor busy;
        run_close_steps(mailbox_, settings_, report);
        busy.set(false);
        refill_list();
    }
    return close_may_proceed(mailbox_, settings_, report);
}

void window_::save_layout_now() {
    record_geometry();
    layout_.current = relative_folder();
    for (int column = 0; column < layout_column_count; ++column) {
        layout_.column_width[column] =
            column < list_->rows_model().columnCount() ? list_->header()->sectionSize(column) : 0;
    }
    layout_.sort_column = sort_.column;
    layout_.sort_descending = sort_.descending;
    layout_.maximized = isMaximized();
    save_layout(layout_);
}

void window_::closeEvent(QCloseEvent* event) {
    if (!may_close()) {
        event->ignore();
        return;
    }
    // With a check interval the window stays in the notification area;
    // without one it could not be reached again, so it ends.
    if (background_place_for(settings_.check_interval, tray::available()) == background_place::tray) {
        event->ignore();
        go_to_background();
        return;
    }
    save_layout_now();
    event->accept();
}

// ---- commands ----

void window_::on_command(int id, int argument) {
    if (id >= cmd::mark_folder_first && id < cmd::mark_folder_first + cmd::mark_count) {
        set_mark(id - cmd::mark_folder_first);
        return;
    }
    if (id >= cmd::go_to_mark_first && id < cmd::go_to_mark_first + cmd::mark_count) {
        go_to_mark(id - cmd::go_to_mark_first);
        return;
    }
    if (id >= cmd::sort_first && id < cmd::sort_first + cmd::sort_column_count) {
        sort_by(id - cmd::sort_first);
        return;
    }
    if (id == cmd::tray_open || id == cmd::tray_exit) {
        restore_from_background();
        if (id == cmd::tray_exit) {
            settings_.check_interval = 0;  // for this run only: the close must not go back to the tray
            close();
        }
        return;
    }
    if (id >= cmd::address_book_new && id < cmd::template_new + 100) {
        run_settings_list_command(id);
        return;
    }
    // Commands that run only while their button is enabled (a key or a
    // pop-up may give them at any time).
    if (!states_.enabled(id)) return;
    switch (id) {
    case cmd::close:
        close();
        break;
    case cmd::refresh_all:
        refresh_all();
        break;
    case cmd::select_account:
        select_account(argument);
        break;
    case cmd::open:
        open_focused(QApplication::keyboardModifiers() & Qt::ShiftModifier);
        break;
    case cmd::open_all_headers:
        open_focused(true);
        break;
    case cmd::move:
        move_selection();
        break;
    case cmd::address_list:
        show_address_list();
        break;
    case cmd::attachment_list:
        show_attachment_list();
        break;
    case cmd::reply:
    case cmd::forward:
    case cmd::new_mail:
        write_mail(id);
        break;
    case cmd::resend:
        resend_selection();
        break;
    case cmd::send_receive:
    case cmd::send_receive_all:
        run_round(id == cmd::send_receive_all);
        break;
    case cmd::send:
        send_drafts();
        break;
    case cmd::rename:
        rename_focused();
        break;
    case cmd::to_trash:
        move_rows_to(special_folder_in(account_root_, special_folder::trash));
        break;
    case cmd::new_folder:
    case cmd::tree_new_folder:
        make_folder_here();
        break;
    case cmd::arrange:
        arrange_now();
        break;
    case cmd::empty_trash:
        empty_the_trash();
        break;
    case cmd::arrange_rules:
        run_arrange_dialog(this, folder_);
        break;
    case cmd::tree_rename:
        rename_tree_folder();
        break;
    case cmd::select_all:
        list_->select_rows(inverted_mail_selection(list_->rows_model().rows(), list_->selected_rows()));
        break;
    case cmd::root_folder:
        show_folder(account_root_);
        break;
    case cmd::parent_folder:
        go_to_parent();
        break;
    case cmd::search_text:
        change_search_text();
        break;
    case cmd::manual: {
        message_box_reporter report(this);
        open_manual(report);
        break;
    }
    case cmd::about:
        show_about(this);
        break;
    case cmd::view_options:
    case cmd::function_options:
        run_options(id);
        break;
    case cmd::mail_popup:
        show_mail_popup(true, {});
        break;
    case cmd::sort_popup:
        show_sort_popup();
        break;
    default:
        // The other commands come with the dialogs that carry them out.
        break;
    }
}

// The option dialogs; what they saved takes effect at once.
void window_::run_options(int id) {
    message_box_reporter report(this);
    const int result = id == cmd::view_options ? run_view_options(this, settings_, report)
                                               : run_function_options(this, settings_, report);
    if (result != 1) return;
    const std::string relative = relative_folder();
    mailbox_ = settings_.mailbox;
    folder_ = mailbox_ + relative;
    apply_view_settings();
    refresh_all();
}

// The lists of the settings menu: address books, groups, accounts,
// signatures and templates; "new" is the first number of each hundred.
void window_::run_settings_list_command(int id) {
    message_box_reporter report(this);
    const int base = id / 100 * 100, index = id == base ? -1 : id - base - 1;
    switch (base) {
    case cmd::address_book_new:
        // A renamed entry may also have changed the account's automatic Cc/Bcc.
        if (run_address_dialog(this, index, report)) {
            account_ = load_current_account(mailbox_, account_name());
            rebuild_list_menus();
            refill_list();
        }
        break;
    case cmd::group_new:
        if (run_group_dialog(this, index, report)) rebuild_list_menus();
        break;
    case cmd::account_new:
        run_account(index, report);
        break;
    case cmd::signature_new:
        if (run_signature_dialog(this, account_root_, index, report)) rebuild_list_menus();
        break;
    case cmd::template_new:
        if (run_template_dialog(this, account_root_, index, report)) rebuild_list_menus();
        break;
    default:
        break;
    }
}

void window_::run_account(int index, reporter& report) {
    if (index >= static_cast<int>(account_names_.size())) return;
    const std::string* title = index < 0 ? nullptr : &account_names_[static_cast<std::size_t>(index)];
    const account_dialog_result result = run_account_dialog(this, mailbox_, title, report);
    using outcome = account_dialog_result::outcome;
    if (result.what == outcome::cancelled) return;
    std::string relative = relative_folder();
    if (result.what == outcome::saved && !result.old_title.empty() && result.old_title != result.new_title) {
        rename_account_in_layout(layout_, result.old_title, result.new_title);
        if (relative.starts_with(result.old_title + "/"))
            relative = result.new_title + relative.substr(result.old_title.size());
    }
    if (result.what == outcome::deleted && relative.starts_with(result.old_title + "/")) relative.clear();
    folder_ = relative.empty() ? std::string() : mailbox_ + relative;
    refresh_all();
}

void window_::run_letter_command(int letter_index) {
    if (letter_index == 0) {
        accounts_->setFocus();
        accounts_->showPopup();
        return;
    }
    if (letter_index > 0 && letter_index < static_cast<int>(std::size(letter_commands)))
        on_command(letter_commands[letter_index]);
}

void window_::refresh_all() {
    account_names_ = list_accounts(mailbox_);
    account_folders_.clear();
    for (const std::string& name : account_names_) account_folders_.push_back(name + "/");
    accounts_->clear();
    for (const std::string& name : account_names_) accounts_->addItem(qs(name));
    rebuild_account_menu();
    rebuild_mark_menus();
    list_->set_account_count(static_cast<int>(account_names_.size()));
    if (account_names_.empty()) {
        folder_.clear();
        account_root_.clear();
        list_->rows_model().set_rows({});
        update_after_selection();
        return;
    }
    // The folder of the last run, when its account is still there.
    std::string relative = folder_.empty() ? layout_.current : relative_folder();
    int index = account_index_of(relative, account_names_);
    if (index < 0) {
        index = 0;
        relative = account_folders_[0];
    }
    account_folders_[static_cast<std::size_t>(index)] = relative;
    select_account(index);
}

void window_::select_account(int index) {
    if (index < 0 || index >= static_cast<int>(account_names_.size())) return;
    accounts_->setCurrentIndex(index);
    const std::string& name = account_names_[static_cast<std::size_t>(index)];
    account_root_ = mailbox_ + name + "/";
    account_ = load_current_account(mailbox_, name);
    std::string folder = mailbox_ + account_folders_[static_cast<std::size_t>(index)];
    if (!directory_exists(folder)) folder = account_root_;
    folder_ = folder;
    if (settings_.view_tree) tree_->rebuild(account_root_, name, folder_);
    rebuild_list_menus();
    refill_list();
}

void window_::show_folder(const std::string& folder, const std::string& row_to_focus) {
    if (account_root_.empty() || !folder.starts_with(account_root_)) return;
    folder_ = folder;
    const int index = accounts_->currentIndex();
    if (index >= 0 && index < static_cast<int>(account_folders_.size()))
        account_folders_[static_cast<std::size_t>(index)] = relative_folder();
    if (settings_.view_tree) tree_->show_folder(folder_);
    refill_list(row_to_focus);
}

void window_::refill_list(const std::string& row_to_focus) {
    std::string keep = row_to_focus;
    if (keep.empty()) {
        if (const mail_row* row = list_->rows_model().row_at(list_->focused_row())) keep = row->text[column_number];
    }
    std::vector<mail_row> rows = build_mail_list(folder_, account_root_, search_);
    sort_mail_list(rows, sort_);
    int focus = rows.empty() ? -1 : 0;
    for (std::size_t i = 0; i < rows.size() && !keep.empty(); ++i) {
        const mail_row& row = rows[i];
        if ((row.folder ? row.text[column_subject] : row.text[column_number]) == keep) focus = static_cast<int>(i);
    }
    list_->rows_model().set_rows(std::move(rows));
    apply_column_widths();
    if (focus >= 0) list_->set_focused_row(focus);
    actions_[cmd::sort_first + std::clamp(sort_.column, 0, cmd::sort_column_count - 1)]->setChecked(true);
    update_after_selection();
}

void window_::sort_by(int column) {
    if (column < 0 || column >= list_->rows_model().columnCount()) return;
    choose_sort_column(sort_, column);
    actions_[cmd::sort_first + column]->setChecked(true);
    if (list_->rows_model().rowCount() < 2) return;
    refill_list();
}

void window_::enter_focused_folder() {
    const mail_row* row = list_->rows_model().row_at(list_->focused_row());
    if (!row || !row->folder) return;
    if (row->parent) go_to_parent();
    else show_folder(folder_ + row->text[column_subject] + "/");
}

void window_::go_to_parent() {
    if (folder_ == account_root_) return;
    std::string parent = folder_.substr(0, folder_.size() - 1);
    const std::size_t slash = parent.rfind('/');
    const std::string left = parent.substr(slash + 1);
    parent.erase(slash + 1);
    show_folder(parent, left);
}

void window_::change_search_text() {
    if (!ask_search_text(this, search_)) return;
    refill_list();
}

void window_::set_mark(int mark) {
    if (folder_.empty()) return;
    mark_current_folder(layout_, mark, relative_folder());
    rebuild_mark_menus();
}

void window_::go_to_mark(int mark) {
    std::optional<std::string> target = qm::go_to_mark(layout_, mark, relative_folder(), mailbox_);
    if (!target) return;
    const int index = account_index_of(*target, account_names_);
    if (index < 0) return;
    account_folders_[static_cast<std::size_t>(index)] = *target;
    select_account(index);
}

void window_::show_mail_popup(bool at_focus, const QPoint& global_position) {
    QPoint position = global_position;
    if (at_focus) {
        const int row = list_->focused_row();
        const QRect box = row >= 0 ? list_->visualRect(list_->rows_model().index(row, 0)) : QRect();
        position = list_->viewport()->mapToGlobal(box.isValid() ? QPoint(box.left(), box.center().y()) : QPoint(0, 0));
    }
    mail_popup_->exec(position);
}

void window_::show_sort_popup() {
    const int row = list_->focused_row();
    const QRect box = row >= 0 ? list_->visualRect(list_->rows_model().index(row, 0)) : QRect();
    sort_menu_->exec(list_->viewport()->mapToGlobal(box.isValid() ? QPoint(box.left(), box.center().y()) : QPoint()));
}

// ---- acting on mail and folders ----

// The rows a command acts on: the selected ones, or the focused one when
// none is selected.
std::vector<int> window_::acting_rows() const {
    std::vector<int> rows = list_->selected_rows();
    if (rows.empty() && list_->focused_row() >= 0) rows.push_back(list_->focused_row());
    return rows;
}

void window_::open_focused(bool all_headers) {
    const mail_row* row = list_->rows_model().row_at(list_->focused_row());
    if (!row) return;
    if (row->folder) {
        enter_focused_folder();
        return;
    }
    message_box_reporter report(this);
    const open_outcome outcome = open_message(folder_, account_root_, row->number, all_headers, report);
    if (outcome.became_read) refill_list();
}

// ---- send and receive ----

// One round for the current account, or the round of all accounts, which
// visits each and comes back to the one current before.
void window_::run_round(bool all_accounts) {
    if (account_root_.empty()) return;
    const int current = accounts_->currentIndex();
    window_round_hooks hooks;
    hooks.show_inbox = [this](std::string_view inbox) { show_folder(std::string(inbox)); };
    hooks.visiting_account = [this](std::string_view title) {
        const auto at = std::find(account_names_.begin(), account_names_.end(), title);
        if (at != account_names_.end()) select_account(static_cast<int>(at - account_names_.begin()));
    };
    if (all_accounts) {
        run_send_receive_all(this, mailbox_, hooks);
        select_account(current);
    } else {
        run_send_receive(this, mailbox_, account_name(), hooks);
        refill_list();
    }
}

// The chosen drafts go into the outbox, then the outbox is sent.
void window_::send_drafts() {
    if (account_root_.empty() || !states_.enabled(cmd::send) || !round_may_start(this)) return;
    const std::string outbox = special_folder_in(account_root_, special_folder::outbox);
    if (folder_ != outbox) move_rows_to(outbox);
    run_send_queued(this, mailbox_, account_name(), {});
    refill_list();
}

void window_::send_draft(const std::string& message_dir) {
    std::string dir = message_dir;
    if (!dir.ends_with('/')) dir += '/';
    const std::optional<draft_to_send> draft = find_draft_to_send(mailbox_, dir);
    if (!draft) return;
    const auto at = std::find(account_names_.begin(), account_names_.end(), draft->account_title);
    if (at != account_names_.end()) select_account(static_cast<int>(at - account_names_.begin()));
    if (!round_may_start(this)) return;
    if (!draft->queued) {
        message_box_reporter report(this);
        const std::string drafts = special_folder_in(draft->account_root, special_folder::drafts);
        const move_result moved = move_rows({mailbox_, draft->account_root, drafts},
                                            special_folder_in(draft->account_root, special_folder::outbox),
                                            {{false, std::to_string(draft->number), type_draft}}, report);
        if (moved.moved.empty()) return;
    }
    run_send_queued(this, mailbox_, draft->account_title, {});
    refill_list();
}

// ---- writing mail ----

// The one mail a command on a single mail acts on.
const mail_row* window_::single_mail_row() const {
    const std::vector<int> rows = acting_rows();
    if (rows.size() != 1) return nullptr;
    const mail_row* row = list_->rows_model().row_at(rows.front());
    return row && !row->folder ? row : nullptr;
}

void window_::write_mail(int id) { write_mail(id, {}); }

void window_::compose_new_mail(const new_mail_start& start) {
    raise_to_front();
    write_mail(cmd::new_mail, start);
}

void window_::write_mail(int id, const new_mail_start& start) {
    message_box_reporter report(this);
    if (account_.address.empty()) {
        report.notice(str::account_incomplete);
        return;
    }
    const compose_context ctx{mailbox_, account_root_, context().work_directory, account_};
    int draft = -1;
    if (id == cmd::new_mail) {
        draft = run_make_mail_dialog(this, ctx, start, report);
    } else if (const mail_row* row = single_mail_row()) {
        const std::string source = message_directory(folder_, row->number);
        draft = id == cmd::reply ? run_reply_dialog(this, ctx, source, report)
                                 : run_forward_dialog(this, ctx, source, report);
    }
    // The source shows its R or F, and the drafts folder, when shown, its new draft.
    if (draft >= 0) refill_list();
}

// Every selected sent mail becomes a new draft, after one question.
void window_::resend_selection() {
    std::vector<std::string> sources;
    for (int index : acting_rows()) {
        const mail_row* row = list_->rows_model().row_at(index);
        if (row && !row->folder && row->type == type_sent) sources.push_back(message_directory(folder_, row->number));
    }
    if (sources.empty()) return;
    message_box_reporter report(this);
    if (!report.confirm(str::compose_confirm_resend)) return;
    const compose_context ctx{mailbox_, account_root_, context().work_directory, account_};
    for (const std::string& source : sources) {
        if (resend_message(ctx, source, report) < 0) break;
    }
    refill_list();
}

void window_::show_address_list() {
    const mail_row* row = single_mail_row();
    if (!row) return;
    message_box_reporter report(this);
    run_address_list_dialog(this, message_directory(folder_, row->number), row->type == type_draft, report);
    // Registering an address may rename the sender shown, so always refill.
    refill_list();
}

void window_::show_attachment_list() {
    const mail_row* row = single_mail_row();
    if (!row) return;
    message_box_reporter report(this);
    if (run_attachment_dialog(this, message_directory(folder_, row->number), row->type == type_draft, settings_, report))
        refill_list();
}

void window_::move_rows_to(const std::string& target) {
    std::vector<selected_row> rows;
    bool folders = false;
    for (int index : acting_rows()) {
        const mail_row* row = list_->rows_model().row_at(index);
        if (!row || row->parent) continue;
        folders = folders || row->folder;
        rows.push_back({row->folder, row->folder ? row->text[column_subject] : row->text[column_number], row->type});
    }
    if (rows.empty()) return;
    message_box_reporter report(this);
    wait_cursor busy;
    move_rows({mailbox_, account_root_, folder_}, target, rows, report);
    busy.set(false);
    if (folders) rebuild_tree();
    refill_list();
}

void window_::move_selection() {
    std::optional<std::string> target = fixed_move_target(account_root_, folder_);
    if (!target) target = choose_folder(this, mailbox_, account_root_);
    if (target) move_rows_to(*target);
}

void window_::rename_focused() {
    const mail_row* row = list_->rows_model().row_at(list_->focused_row());
    if (!row || row->parent) return;
    message_box_reporter report(this);
    const mail_row shown = *row;
    std::optional<std::string> name;
    if (shown.folder) {
        name = ask_name(this, load_string(str::new_folder_title), shown.text[column_subject], name_field_limit,
                        [&](const std::string& text) {
                            return rename_folder(folder_, shown.text[column_subject], text, report);
                        });
        if (name) rebuild_tree();
        if (name) refill_list(*name);
    } else {
        name = ask_name(this, load_string(str::new_subject_title), shown.text[column_subject], name_field_limit,
                        [&](const std::string& text) {
                            return change_subject(folder_, shown.text[column_number], text, report);
                        });
        if (name) refill_list();
    }
}

void window_::make_folder_here() {
    message_box_reporter report(this);
    std::optional<std::string> name =
        ask_name(this, load_string(str::new_folder_title), {}, name_field_limit,
                 [&](const std::string& text) { return make_folder(folder_, text, report); });
    if (!name) return;
    rebuild_tree();
    refill_list(*name);
}

void window_::arrange_now() {
    message_box_reporter report(this);
    if (!report.confirm(str::confirm_arrange)) return;
    wait_cursor busy;
    for (special_folder sorted : {special_folder::inbox, special_folder::sent})
        arrange_run(special_folder_in(account_root_, sorted), account_root_, report);
    busy.set(false);
    refill_list();
}

void window_::empty_the_trash() {
    message_box_reporter report(this);
    const empty_trash_result result = empty_trash(account_root_, folder_, report);
    if (result.cancelled) return;
    if (result.show_folder) folder_ = *result.show_folder;
    rebuild_tree();
    refill_list();
}

// The tree's rename: the folder's row is shown in its parent, then renamed
// as a row would be.
void window_::rename_tree_folder() {
    if (folder_ == account_root_) return;
    go_to_parent();
    rename_focused();
}

void window_::move_tree_folder(const std::string& folder, const std::string& target) {
    message_box_reporter report(this);
    const folder_move_result result = move_folder({mailbox_, account_root_, folder_}, folder, target, report);
    if (result.show_folder) folder_ = *result.show_folder;
    rebuild_tree();
    refill_list();
}

void window_::rebuild_tree() {
    if (settings_.view_tree) tree_->rebuild(account_root_, account_name(), folder_);
}

// ---- what follows a change of the list or its selection ----

void window_::update_after_selection() {
    update_preview();
    update_count_strip();
    update_states();
}

void window_::update_preview() {
    const mail_row* row = list_->rows_model().row_at(list_->focused_row());
    preview_text_ =
        row && !row->folder ? reading_document(message_directory(folder_, row->number), preview_limit) : std::string();
    const QString text = QString::fromUtf8(preview_text_.data(), static_cast<qsizetype>(preview_text_.size()));
    const QColor background = qcolor(settings_.back_ground);
    if (settings_.view_preview) {
        if (preview_->toPlainText() != text) preview_->setPlainText(text);
        list_->rows_model().set_transparent_rows(false, -1);
        tree_->set_background_text({});
        list_->set_background_text({});
    } else {
        background_text behind{text, qcolor(settings_.back_text), background, 0, true};
        tree_->set_background_text(behind);
        if (settings_.view_tree) {
            behind.shift = tree_->width() + tree_splitter_->handleWidth();
            behind.rise = list_->viewport()->mapTo(this, QPoint()).y() - tree_->viewport()->mapTo(this, QPoint()).y();
        }
        list_->set_background_text(behind);
        list_->rows_model().set_transparent_rows(true, list_->focused_row());
    }
}

void window_::update_count_strip() {
    const std::vector<int> selected = list_->selected_rows();
    const bool any = !selected.empty();
    count_->setText(qs(list_status_text(any ? static_cast<int>(selected.size()) : list_->rows_model().rowCount(), any)));
}

void window_::update_states() {
    states_ = folder_.empty() ? command_states{}
                              : compute_command_states(account_root_, folder_, list_->rows_model().rows(),
                                                       list_->selected_rows(), list_->focused_row());
    for (auto& [id, act] : actions_) act->setEnabled(states_.enabled(id));
    actions_[cmd::tree_new_folder]->setEnabled(states_.enabled(cmd::new_folder));
    list_->set_drag_allowed(states_.enabled(cmd::move) && !folder_.empty());
    // The move command says where it goes when it goes without asking.
    const std::optional<std::string> fixed = fixed_move_target(account_root_, folder_);
    const int move_label = !fixed                                                             ? menu_label_base + cmd::move
                           : *fixed == special_folder_in(account_root_, special_folder::drafts) ? str::menu_move_to_drafts
                                                                                              : str::menu_move_to_outbox;
    actions_[cmd::move]->setText(text_of(move_label));
}

// ---- dynamic menus ----

void window_::rebuild_account_menu() {
    account_menu_->clear();
    QAction* create = account_menu_->addAction(text_of(str::menu_new_entry));
    connect(create, &QAction::triggered, this, [this] { on_command(cmd::account_new); });
    account_menu_->addSeparator();
    for (std::size_t i = 0; i < account_names_.size(); ++i) {
        QAction* entry = account_menu_->addAction(qs(account_names_[i]));
        connect(entry, &QAction::triggered, this, [this, i] { on_command(cmd::account_new + 1 + static_cast<int>(i)); });
    }
}

void window_::rebuild_list_menus() {
    struct list_menu {
        QMenu* menu;
        int base;
        std::function<bool(int, std::string&)> name;
    };
    const std::string root = account_root_;
    const list_menu menus[] = {
        {address_menu_, cmd::address_book_new, [](int i, std::string& name) { return address_entry_name(i, name); }},
        {group_menu_, cmd::group_new, [](int i, std::string& name) { return group_name(i, name); }},
        {signature_menu_, cmd::signature_new,
         [&root](int i, std::string& name) { return signature_name(root, i, name); }},
        {template_menu_, cmd::template_new, [&root](int i, std::string& name) { return template_name(root, i, name); }},
    };
    for (const list_menu& entry : menus) {
        entry.menu->clear();
        const int base = entry.base;
        QAction* create = entry.menu->addAction(text_of(str::menu_new_entry));
        connect(create, &QAction::triggered, this, [this, base] { on_command(base); });
        entry.menu->addSeparator();
        std::string name;
        for (int i = 0; i < max_accounts && entry.name(i, name); ++i) {
            QAction* item = entry.menu->addAction(qs(name));
            connect(item, &QAction::triggered, this, [this, base, i] { on_command(base + 1 + i); });
        }
    }
}

void window_::rebuild_mark_menus() {
    const QList<QAction*> set = mark_menu_->actions(), go = go_mark_menu_->actions();
    for (int mark = 0; mark < cmd::mark_count; ++mark) {
        const QString text = qs(mark_menu_label(mark, layout_.marks[static_cast<std::size_t>(mark)]));
        set[mark]->setText(text);
        go[mark]->setText(text);
    }
}

// ---- paths ----

std::string window_::relative_folder() const {
    return folder_.size() > mailbox_.size() ? folder_.substr(mailbox_.size()) : std::string();
}

std::string window_::account_name() const {
    const int index = accounts_->currentIndex();
    return index >= 0 && index < static_cast<int>(account_names_.size()) ? account_names_[static_cast<std::size_t>(index)]
                                                                        : std::string();
}

}  // namespace qm
