#include "app/listview_mail.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>

#include "app/drag_moves.h"
#include "navigator/command_ids.h"
#include "navigator/command_states.h"
#include "navigator/list_navigation.h"

namespace qm {

namespace {

// Shift with Left or Right scrolls the list sideways by this many pixels.
constexpr int sideways_step = 8;
constexpr int function_key_count = 12;

}  // namespace

listview_mail::listview_mail(QWidget* parent) : QTreeView(parent), model_(this) {
    setModel(&model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    take_part_in_moves_by_drag(this);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    // Key letters must work whatever the input method is set to.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int column) { emit command(cmd::sort_first + column, 0); });
}

int listview_mail::focused_row() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

void listview_mail::set_focused_row(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    selectionModel()->setCurrentIndex(model_.index(row, 0), QItemSelectionModel::NoUpdate);
    scrollTo(model_.index(row, 0));
}

std::vector<int> listview_mail::selected_rows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void listview_mail::select_rows(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows) selection.select(model_.index(row, 0), model_.index(row, model_.columnCount() - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void listview_mail::set_background_text(const background_text& text) {
    background_ = text;
    viewport()->update();
}

int listview_mail::rows_per_page() const {
    const int height = std::max(1, sizeHintForRow(0));
    return std::max(1, viewport()->height() / height);
}

void listview_mail::move_focus_to(int row) {
    if (row == focused_row() || row < 0) return;
    set_focused_row(row);
}

void listview_mail::toggle_row(int row) {
    if (row < 0) return;
    selectionModel()->select(model_.index(row, 0), QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

bool listview_mail::handle_navigation(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    nav_key key;
    switch (event->key()) {
    case Qt::Key_Up:
        key = nav_key::up;
        break;
    case Qt::Key_Down:
        key = nav_key::down;
        break;
    case Qt::Key_PageUp:
        key = nav_key::page_up;
        break;
    case Qt::Key_PageDown:
        key = nav_key::page_down;
        break;
    case Qt::Key_Home:
        key = nav_key::home;
        break;
    case Qt::Key_End:
        key = nav_key::end;
        break;
    default:
        return false;
    }
    move_focus_to(moved_focus(model_.rows(), focused_row(), key, shift, ctrl, rows_per_page()));
    return true;
}

// Keys that give a character: the letters of the settings, digits, "/",
// "\", ":", "-" and Space.
bool listview_mail::handle_character(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const QString text = event->text();
    if (event->key() == Qt::Key_Space && !ctrl) {
        const int row = focused_row();
        toggle_row(row);
        if (shift && row + 1 < model_.rowCount()) set_focused_row(row + 1);
        return true;
    }
    if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) {
        if (ctrl || shift) return false;
        const char letter = static_cast<char>('A' + (event->key() - Qt::Key_A));
        for (std::size_t i = 0; i < key_letters_.size(); ++i) {
            if (key_letters_[i] == letter) {
                emit letter_command(static_cast<int>(i));
                return true;
            }
        }
        return false;
    }
    if (text.size() != 1 || ctrl) return false;
    const QChar c = text[0];
    if (c >= QLatin1Char('1') && c <= QLatin1Char('9')) {
        const int account = c.unicode() - '1';
        if (account < account_count_) emit command(cmd::select_account, account);
        return true;
    }
    if (c == QLatin1Char('/') || c == QLatin1Char('\\')) {
        emit command(cmd::root_folder, 0);
        return true;
    }
    if (c == QLatin1Char(':')) {
        emit focus_account_selector();
        return true;
    }
    if (c == QLatin1Char('-')) {
        clearSelection();
        return true;
    }
    return false;
}

void listview_mail::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    if (key >= Qt::Key_F1 && key < Qt::Key_F1 + function_key_count) {
        emit command((shift ? cmd::mark_folder_first : cmd::go_to_mark_first) + (key - Qt::Key_F1), 0);
        return;
    }
    if (handle_navigation(event)) return;
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (shift) {
            QScrollBar* bar = horizontalScrollBar();
            bar->setValue(bar->value() + (key == Qt::Key_Left ? -sideways_step : sideways_step));
        } else if (!ctrl) {
            emit command(key == Qt::Key_Left ? cmd::attachment_list : cmd::address_list, 0);
        }
        return;
    case Qt::Key_Insert: {
        // Every mail row; the folder rows keep whatever selection they have.
        std::vector<int> rows = mail_row_indices(model_.rows());
        for (int row : selected_rows())
            if (const mail_row* shown = model_.row_at(row); shown && shown->folder) rows.push_back(row);
        select_rows(rows);
        return;
    }
    case Qt::Key_Delete:
        clearSelection();
        return;
    case Qt::Key_Tab:
        if (preview_shown_) emit focus_preview();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Ctrl+Enter sends, as it does in most mail programs.
        emit command(ctrl ? cmd::send : shift ? cmd::open_all_headers : cmd::open, 0);
        return;
    case Qt::Key_Backspace:
        emit command(cmd::parent_folder, 0);
        return;
    default:
        break;
    }
    if (handle_character(event)) return;
    event->ignore();
}

void listview_mail::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (indexAt(event->position().toPoint()).isValid()) emit command(cmd::open, 0);
    else emit command(event->modifiers() & Qt::ShiftModifier ? cmd::root_folder : cmd::parent_folder, 0);
}

void listview_mail::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (event->reason() == QContextMenuEvent::Mouse && index.isValid() &&
        !selectionModel()->isRowSelected(index.row(), {})) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    emit popup_requested(event->globalPos(), index.isValid());
}

void listview_mail::paintEvent(QPaintEvent* event) {
    background_text shifted = background_;
    shifted.shift += horizontalOffset();
    shifted.paint(viewport(), font());
    QTreeView::paintEvent(event);
}

void listview_mail::startDrag(Qt::DropActions actions) {
    if (drag_allowed_) QTreeView::startDrag(actions);
}

void listview_mail::dragEnterEvent(QDragEnterEvent* event) {
    // Rows of this list, and folders of the tree.
    const QMimeData* data = event->mimeData();
    const bool rows = event->source() == this && data->hasFormat(QString::fromLatin1(dragged_rows_type));
    if (rows || data->hasFormat(QString::fromLatin1(dragged_folder_type))) QTreeView::dragEnterEvent(event);
    else event->ignore();
}

void listview_mail::dropEvent(QDropEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    const mail_row* row = model_.row_at(index.row());
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (index.isValid() && !(row && row->folder)) return;  // a mail row takes nothing
    const int target = index.isValid() ? index.row() : -1;
    if (const std::optional<std::string> folder = dragged_folder_of(event->mimeData()))
        emit folder_dropped(*folder, target);
    else
        emit rows_dropped(target);
}

// The viewport, not the view: it also changes when a scroll bar comes or goes.
bool listview_mail::viewportEvent(QEvent* event) {
    const bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize) emit viewport_resized();
    return handled;
}

void listview_mail::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    emit focused_row_changed(current.isValid() ? current.row() : -1);
}

// The special folders never stay selected.
void listview_mail::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    QItemSelection special;
    for (const QModelIndex& index : selected.indexes()) {
        const mail_row* row = model_.row_at(index.row());
        if (index.column() == 0 && row && is_special_row(*row)) special.select(index, index);
    }
    if (!special.isEmpty()) selectionModel()->select(special, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}

}  // namespace qm
