#include "app/window_.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "app/combo_currentdir.h"
#include "app/desktop_notification.h"
#include "app/edit_preview.h"
#include "app/icons.h"
#include "app/list_columns.h"
#include "app/listview_mail.h"
#include "app/pane_ratios.h"
#include "app/treeview_tree.h"
#include "app/window_actions.h"
#include "app/window_rounds.h"
#include "config/account_settings.h"
#include "navigator/background_check.h"
#include "navigator/command_ids.h"
#include "navigator/command_table.h"
#include "navigator/list_navigation.h"
#include "navigator/window_close.h"
#include "platform/string_table.h"
#include "store/folder_moves.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"
#include "ui/view_style.h"
#include "ui/wait_cursor.h"

namespace qm {

namespace {

// The sizes the window cannot be made smaller than, from the views it holds.
constexpr int minimum_client = 220;
constexpr int pane_room = 20;
constexpr int fixed_bars_height = 24 + 20 + 28;
// A divider of a splitter is this wide.
constexpr int splitter_handle = 5;
// A read taking longer than this is announced in the count strip.
constexpr int reading_notice_ms = 500;

}  // namespace

window_::window_(Settings& settings, Layout& layout)
    : settings_(settings),
      layout_(layout),
      reader_([this](const folder_reader::request& read, std::vector<mail_row> rows) { rows_arrived(read, std::move(rows)); }) {
    setWindowTitle(qs(load_string(str::product_name)));
    setWindowIcon(main_icon());
    nav_.mailbox = settings_.mailbox;
    nav_.sort = {layout_.sort_column, layout_.sort_descending};
    actions_ = new window_actions(this, [this](int id) { on_command(id); });
    build_views();
    connect_views();
    connect(&tray_, &tray::open_requested, this, [this] { on_command(cmd::tray_open); });
    connect(&tray_, &tray::exit_requested, this, [this] { on_command(cmd::tray_exit); });
    connect(&checker_, &new_mail_checker::new_mail_found, this, &window_::new_mail_in_background);
    reading_notice_.setSingleShot(true);
    reading_notice_.setInterval(reading_notice_ms);
    connect(&reading_notice_, &QTimer::timeout, this, [this] {
        reading_shown_ = true;
        update_count_strip();
    });
    apply_view_settings();
    restore_geometry();
}

QAction* window_::action(int id) const { return actions_->action(id); }

// ---- the views ----

void window_::build_views() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    accounts_ = new combo_currentdir(central);
    accounts_->setAccessibleName(QStringLiteral("account"));
    column->addWidget(accounts_);

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
    columns_ = new list_columns(list_, layout_);
    panes_ = new pane_ratios(tree_splitter_, preview_splitter_, layout_, settings_, [this] { update_preview(); });
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(true);
}

void window_::connect_views() {
    connect(accounts_, &combo_currentdir::account_chosen, this, &window_::choose_account);
    connect(accounts_, &combo_currentdir::back_to_list, this, [this] { list_->setFocus(); });
    connect(tree_, &treeview_tree::folder_chosen, this, [this](const std::string& folder) {
        if (show_folder(nav_, folder)) show_changes(refresh_place);
        // The keys are the mail list's: it takes the keyboard back at once.
        list_->setFocus();
    });
    // So does a click on the folder already shown.
    connect(tree_, &QTreeWidget::itemClicked, list_, [this] { list_->setFocus(); });
    connect(tree_, &treeview_tree::popup_requested, this,
            [this](const QPoint& position) { actions_->tree_popup()->exec(position); });
    connect(list_, &listview_mail::command, this, [this](int id, int argument) {
        if (id == cmd::select_account) choose_account(argument);
        else on_command(id);
    });
    connect(list_, &listview_mail::letter_command, this, &window_::run_letter_command);
    connect(list_, &listview_mail::focus_account_selector, this, [this] {
        accounts_->setFocus();
        accounts_->showPopup();
    });
    connect(list_, &listview_mail::focus_preview, this, [this] { preview_->setFocus(); });
    connect(preview_, &edit_preview::back_to_list, this, [this] { list_->setFocus(); });
    connect(list_, &listview_mail::popup_requested, this, [this](const QPoint& position, bool over_row) {
        if (over_row) show_mail_popup(false, position);
        else actions_->list_popup()->exec(position);
    });
    // A drop is carried out once the drag has ended: the move rebuilds the
    // view the drag started from.
    connect(list_, &listview_mail::rows_dropped, this, [this](int row) {
        const std::optional<std::string> target = drop_target(nav_, list_->rows_model().row_at(row));
        if (target && *target != nav_.folder) QTimer::singleShot(0, this, [this, t = *target] { drop_rows_on(t); });
    });
    connect(list_, &listview_mail::folder_dropped, this, [this](const std::string& folder, int row) {
        if (reader_.reading()) return;  // the row dropped on may be gone
        const std::optional<std::string> target = drop_target(nav_, list_->rows_model().row_at(row));
        if (target) QTimer::singleShot(0, this, [this, folder, t = *target] { drop_folder_on(folder, t); });
    });
    connect(tree_, &treeview_tree::rows_dropped, this, [this](const std::string& target) {
        QTimer::singleShot(0, this, [this, target] { drop_rows_on(target); });
    });
    connect(tree_, &treeview_tree::folder_dropped, this, [this](const std::string& folder, const std::string& target) {
        QTimer::singleShot(0, this, [this, folder, target] { drop_folder_on(folder, target); });
    });
    connect(list_, &listview_mail::focused_row_changed, this, [this](int) { update_after_selection(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { update_after_selection(); });
}

// Font, colours and which panes are shown, from the view settings.
void window_::apply_view_settings() {
    const QFont font = view_font(settings_);
    for (QWidget* view : std::initializer_list<QWidget*>{tree_, list_, preview_, accounts_}) view->setFont(font);
    const QColor background = qcolor(settings_.back_ground), normal = qcolor(settings_.text_normal);
    for (QWidget* view : std::initializer_list<QWidget*>{tree_, list_, preview_, accounts_}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, background);
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Button, background);
        palette.setColor(QPalette::Text, normal);
        palette.setColor(QPalette::ButtonText, normal);
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
    columns_->apply();
}

// ---- geometry ----

void window_::restore_geometry() {
    move(layout_.position_x, layout_.position_y);
    resize(layout_.size_x, layout_.size_y);
    // The stored size is the outer size: once the window manager has framed
    // the window, the frame is taken off, so that the window does not grow
    // by its frame from run to run.
    pending_outer_size_ = true;
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
    if (panes_->pending()) QTimer::singleShot(0, panes_, &pane_ratios::apply);
    else QTimer::singleShot(0, panes_, &pane_ratios::record);
}

void window_::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    apply_outer_size_once_framed();
    record_geometry();
}

bool window_::event(QEvent* event) {
    // Activating the window gives the keyboard to the mail list.
    if (event->type() == QEvent::WindowActivate && !preview_->hasFocus() && !accounts_->hasFocus()) list_->setFocus();
    return QMainWindow::event(event);
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
    nav_ = start_navigator(settings_.mailbox, list_accounts(settings_.mailbox), layout_, folder_on_disk);
    show_changes(refresh_accounts);
    // An account that cannot send or receive yet is set up first.
    if (nav_.has_account() && !account_complete(load_current_account(nav_.mailbox, nav_.account_title()))) {
        const int current = nav_.account;
        QTimer::singleShot(0, this, [this, current] { on_command(cmd::account_new + 1 + current); });
    } else if (settings_.check_interval != 0) {
        QTimer::singleShot(0, this, &window_::showMinimized);  // straight to the background
    }
    if (layout_.maximized) showMaximized();
    // The framing may come a little after the first show; whatever it is
    // by then stands.
    QTimer::singleShot(0, panes_, &pane_ratios::apply);
    QTimer::singleShot(1000, this, [this] {
        apply_outer_size_once_framed();
        pending_outer_size_ = false;
        panes_->apply();
        panes_->settle();
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
        {
            wait_cursor busy;
            run_close_steps(nav_.mailbox, settings_, report);
        }
        show_changes(refresh_list);
    }
    return close_may_proceed(nav_.mailbox, settings_, report);
}

void window_::save_layout_now() {
    record_geometry();
    panes_->record();
    store_in_layout(nav_, layout_);
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

void window_::on_command(int id) {
    if (id == cmd::tray_open || id == cmd::tray_exit) {
        restore_from_background();
        if (id == cmd::tray_exit) {
            settings_.check_interval = 0;  // for this run only: the close must not go back to the tray
            close();
        }
        return;
    }
    // A key or a pop-up may give a command at any time: it runs only while
    // its button is enabled.
    if (!states_.enabled(id)) return;
    switch (id) {
    case cmd::close:
        close();
        return;
    case cmd::refresh_all:
        show_changes(refresh_accounts);
        return;
    case cmd::select_all:
        list_->select_rows(inverted_mail_selection(list_->rows_model().rows(), list_->selected_rows()));
        return;
    case cmd::mail_popup:
        show_mail_popup(true, {});
        return;
    case cmd::sort_popup:
        show_sort_popup();
        return;
    default:
        run([id](command_scope& scope) { return run_window_command(id, scope); });
    }
}

void window_::run(const std::function<command_result(command_scope&)>& command) {
    message_box_reporter report(this);
    // A read under way would bring rows from before the command: it stops,
    // and the folder is read once the command is over. Until the rows have
    // arrived the command is given none.
    const bool interrupted = reader_.cancel();
    const std::shared_ptr<const std::vector<mail_row>> shown = list_->rows_model().shared_rows();
    const std::vector<mail_row> none;
    command_scope scope{this,
                        nav_,
                        settings_,
                        interrupted ? none : *shown,
                        interrupted ? std::vector<int>() : acting_rows(),
                        interrupted ? -1 : list_->focused_row(),
                        report,
                        [this](unsigned refresh) { show_changes(refresh, {}, false); }};
    command_result result = command(scope);
    if (interrupted || read_after_command_) result.refresh |= refresh_list;
    read_after_command_ = false;
    show_changes(result.refresh, result.focus);
}

void window_::compose_new_mail(const new_mail_start& start) {
    raise_to_front();
    run([&start](command_scope& scope) { return write_new_mail(scope, start); });
}

void window_::send_draft(const std::string& message_dir) {
    run([&message_dir](command_scope& scope) { return send_one_draft(scope, message_dir); });
}

void window_::run_letter_command(int letter_index) {
    if (letter_index < 0 || letter_index >= static_cast<int>(key_letter_setting_names.size())) return;
    const int command = command_of_letter(static_cast<key_letter>(letter_index));
    if (command != 0) {
        on_command(command);
        return;
    }
    accounts_->setFocus();
    accounts_->showPopup();
}

void window_::choose_account(int index) {
    if (select_account(nav_, index, folder_on_disk)) show_changes(refresh_place | refresh_tree | refresh_entries);
}

void window_::show_mail_popup(bool at_focus, const QPoint& global_position) {
    QPoint position = global_position;
    if (at_focus) {
        const int row = list_->focused_row();
        const QRect box = row >= 0 ? list_->visualRect(list_->rows_model().index(row, 0)) : QRect();
        position = list_->viewport()->mapToGlobal(box.isValid() ? QPoint(box.left(), box.center().y()) : QPoint(0, 0));
    }
    actions_->mail_popup()->exec(position);
}

void window_::show_sort_popup() {
    const int row = list_->focused_row();
    const QRect box = row >= 0 ? list_->visualRect(list_->rows_model().index(row, 0)) : QRect();
    actions_->sort_menu()->exec(list_->viewport()->mapToGlobal(box.isValid() ? QPoint(box.left(), box.center().y()) : QPoint()));
}

// The rows a command acts on: the selected ones, or the focused one when
// none is selected.
std::vector<int> window_::acting_rows() const {
    std::vector<int> rows = list_->selected_rows();
    if (rows.empty() && list_->focused_row() >= 0) rows.push_back(list_->focused_row());
    return rows;
}

void window_::drop_rows_on(const std::string& target) {
    if (states_.enabled(cmd::move)) run([&target](command_scope& scope) { return move_rows_into(scope, target); });
}

void window_::drop_folder_on(const std::string& folder, const std::string& target) {
    run([&folder, &target](command_scope& scope) { return move_folder_into(scope, folder, target); });
}

// ---- showing what changed ----

void window_::show_changes(unsigned refresh, const std::string& focus, bool read_rows) {
    if (refresh & refresh_accounts) {
        reload_accounts(nav_, settings_.mailbox, list_accounts(settings_.mailbox), folder_on_disk);
        show_accounts();
        refresh |= refresh_tree | refresh_entries | refresh_marks | refresh_place;
    }
    if (refresh & refresh_view) apply_view_settings();
    // The rows are read in the worker while the tree and the menus are made.
    if (refresh & (refresh_list | refresh_place | refresh_tree)) {
        if (read_rows) {
            refill_list(focus);
        } else {
            // Shown while a command still runs: the folder is read once, at its end.
            empty_list_of_other_folder();
            read_after_command_ = true;
        }
    }
    if (refresh & refresh_tree) {
        if (settings_.view_tree && nav_.has_account()) tree_->rebuild(nav_.account_root(), nav_.account_title(), nav_.folder);
        else if (!nav_.has_account()) tree_->clear();
    } else if (refresh & refresh_place) {
        if (settings_.view_tree) tree_->show_folder(nav_.folder);
    }
    if (refresh & refresh_place) accounts_->show_account(nav_.account);
    if (refresh & refresh_entries) actions_->rebuild_list_menus(nav_.account_root());
    if (refresh & refresh_marks) actions_->rebuild_mark_menus(nav_.marks);
    store_in_layout(nav_, layout_);
}

void window_::show_accounts() {
    accounts_->clear();
    for (const std::string& title : nav_.accounts) accounts_->addItem(qs(title));
    accounts_->show_account(nav_.account);
    actions_->rebuild_account_menu(nav_.accounts);
    list_->set_account_count(static_cast<int>(nav_.accounts.size()));
}

// The rows are read in the worker; the list keeps the rows it shows while
// they are of the folder shown, and row commands wait for the new ones.
void window_::refill_list(const std::string& focus) {
    // A command's focus holds until the rows of its folder arrive, through
    // later reads of the same folder (a sort, a refresh).
    if (!focus.empty() || pending_focus_folder_ != nav_.folder) {
        pending_focus_ = focus;
        pending_focus_folder_ = nav_.folder;
    }
    empty_list_of_other_folder();
    show_sort();
    if (!nav_.has_account()) {
        reader_.cancel();
        folder_reader::request nothing;
        nothing.folder = nav_.folder;
        rows_arrived(nothing, {});
        return;
    }
    reader_.start({nav_.folder, nav_.account_root(), nav_.search, nav_.sort, settings_.list_thread});
    // Half a second from the first of reads that follow one another.
    if (!reading_notice_.isActive() && !reading_shown_) reading_notice_.start();
    update_states();
    update_count_strip();
}

// Rows of another folder are never shown beside the folder: a row's number
// would name a message of the folder shown.
void window_::empty_list_of_other_folder() {
    if (rows_folder_ == nav_.folder) return;
    reader_.cancel();
    reader_.free_rows(list_->rows_model().set_rows({}));
    rows_folder_ = nav_.folder;
    update_after_selection();
}

void window_::rows_arrived(const folder_reader::request& read, std::vector<mail_row> rows) {
    if (read.folder != nav_.folder) return;  // a new read of the folder shown is under way
    std::string keep;
    if (pending_focus_folder_ == read.folder) keep = pending_focus_;
    if (keep.empty() && rows_folder_ == read.folder) {
        if (const mail_row* row = list_->rows_model().row_at(list_->focused_row())) keep = row_key(*row);
    }
    pending_focus_.clear();
    pending_focus_folder_.clear();
    const int focused = focus_after_refill(rows, keep);
    reader_.free_rows(list_->rows_model().set_rows(std::move(rows)));
    rows_folder_ = read.folder;
    if (focused >= 0) list_->set_focused_row(focused);
    reading_notice_.stop();
    reading_shown_ = false;
    update_after_selection();
}

void window_::show_sort() {
    actions_->show_sort(nav_.sort);
    const bool indicated = nav_.sort.column < list_->rows_model().columnCount();
    list_->header()->setSortIndicatorShown(indicated);
    if (indicated) list_->header()->setSortIndicator(nav_.sort.column, nav_.sort.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// ---- what follows a change of the list or its selection ----

void window_::update_after_selection() {
    update_preview();
    update_count_strip();
    update_states();
}

void window_::update_preview() {
    const mail_row* row = list_->rows_model().row_at(list_->focused_row());
    preview_text_ = row && !row->folder ? preview_document(message_directory(nav_.folder, row->number))
                                        : std::string();
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
    if (reader_.reading() && (reading_shown_ || list_->rows_model().rowCount() == 0)) {
        // An emptied list has no count to show until its rows arrive.
        count_->setText(reading_shown_ ? qs(load_string(str::list_reading)) : QString());
        return;
    }
    const std::vector<int> selected = list_->selected_rows();
    const bool any = !selected.empty();
    count_->setText(qs(list_status_text(any ? static_cast<int>(selected.size()) : list_->rows_model().rowCount(), any)));
}

void window_::update_states() {
    // While the rows are read, the commands on rows are off: the rows shown
    // may be gone or changed.
    const std::vector<mail_row> none;
    const bool rows_current = !reader_.reading();
    states_ = nav_.has_account()
                  ? compute_command_states(nav_.account_root(), nav_.folder, rows_current ? list_->rows_model().rows() : none,
                                           rows_current ? list_->selected_rows() : std::vector<int>(),
                                           rows_current ? list_->focused_row() : -1)
                  : command_states::without_account();
    actions_->show_states(states_, nav_);
    list_->set_drag_allowed(states_.enabled(cmd::move) && nav_.has_account());
}

}  // namespace qm
