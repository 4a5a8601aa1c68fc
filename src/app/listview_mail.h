#pragma once

#include <QString>
#include <QTreeView>
#include <string>
#include <vector>

#include "app/background_text.h"
#include "app/mail_list_model.h"

namespace qm {

// The mail list. Arrow and page keys move only the focus; Space, Insert,
// Delete and the mouse select. Every command a key or a click gives is
// handed to the window as a command number (`command`), which decides
// whether it may run.
class listview_mail : public QTreeView {
    Q_OBJECT
public:
    explicit listview_mail(QWidget* parent = nullptr);

    mail_list_model& rows_model() { return model_; }
    int focused_row() const;
    void set_focused_row(int row);
    std::vector<int> selected_rows() const;
    void select_rows(const std::vector<int>& rows);

    // The eleven key letters of the settings (a 0 switches a letter off).
    void set_key_letters(const std::string& letters) { key_letters_ = letters; }
    void set_account_count(int count) { account_count_ = count; }
    // Rows are dragged only while they could be moved.
    void set_drag_allowed(bool allowed) { drag_allowed_ = allowed; }
    void set_preview_shown(bool shown) { preview_shown_ = shown; }
    // With the preview hidden, the focused mail's text behind the rows.
    void set_background_text(const background_text& text);
    const background_text& background() const { return background_; }

signals:
    // A command number; `argument` is the account index for command 202.
    void command(int id, int argument);
    void letter_command(int letter_index);
    void focus_account_selector();
    void focus_preview();
    void popup_requested(const QPoint& global_position, bool over_row);
    void focused_row_changed(int row);
    // The selected rows were dropped on row `row` (a folder row), or on the
    // empty space (-1).
    void rows_dropped(int row);
    // A folder of the tree (its path) was dropped on row `row`, or on the
    // empty space (-1).
    void folder_dropped(const std::string& folder, int row);
    // The list's visible width changed (the subject column may take it).
    void viewport_resized();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    // Tab is a key of the list (it moves to the preview), not a focus step.
    bool focusNextPrevChild(bool) override { return false; }
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    bool handle_navigation(QKeyEvent* event);
    bool handle_character(QKeyEvent* event);
    void move_focus_to(int row);
    void toggle_row(int row);
    int rows_per_page() const;

    mail_list_model model_;
    std::string key_letters_;
    int account_count_ = 0;
    bool drag_allowed_ = false;
    bool preview_shown_ = true;
    background_text background_;
};

}  // namespace qm
