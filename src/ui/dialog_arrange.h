#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"
#include "store/arrange_rules.h"

class QAction;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace qm {

// "このフォルダへの振り分け設定": the rules that bring mail into one folder,
// as a two-column list ("メールヘッダ", "キーワード") in the order of the
// folder's "arrange.lst". Add, edit and delete are reached through the
// list's pop-up menu, the buttons beside the list and their keys; Enter or
// a double click edits the selected rule, Delete deletes it. Every change is
// written at once, and the list is then read again from disk.
class dialog_arrange : public QDialog {
    Q_OBJECT
public:
    // `folder`: the folder's full path (CP932, ending with "/").
    dialog_arrange(QWidget* parent, std::string_view folder, reporter& report);

    QTreeWidget* rule_list() const { return list_; }
    QMenu* popup_menu() const { return popup_; }
    QPushButton* add_button() const { return add_button_; }
    QPushButton* edit_button() const { return edit_button_; }
    QPushButton* delete_button() const { return delete_button_; }

    // The commands of the pop-up menu and the buttons.
    void add_entry();
    void edit_entry();
    void delete_entry();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reload(std::optional<std::string> select_text, int fallback_row);
    std::optional<arrange_rule> selected_rule() const;
    int selected_row() const;
    void follow_selection();

    std::string folder_;
    reporter& report_;
    std::vector<arrange_rule> rules_;  // the list's rows, as last read
    QTreeWidget* list_;
    QMenu* popup_;
    QAction* edit_action_;
    QAction* delete_action_;
    QPushButton* add_button_;
    QPushButton* edit_button_;
    QPushButton* delete_button_;
};

// Command 253 of the main window: the rules dialog for `folder` (its full
// CP932 path, ending with "/"), its messages shown as message boxes.
void run_arrange_dialog(QWidget* parent, std::string_view folder);

}  // namespace qm
