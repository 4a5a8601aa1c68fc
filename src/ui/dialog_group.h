#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace qm {

// "グループリスト": a group's title (at most 127 CP932 bytes) and its
// members, names of the address book. "追加" chooses members from the
// address book ("メンバーの選択"), "抹消" removes the selected ones. OK is
// enabled while the title is filled in and the group has a member; it
// refuses a title another group or an entry has, and writes the group.
// "削除" (existing groups only) deletes it after asking. A refused title or
// a failed write is reported and the dialog stays open.
class dialog_group : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t title_byte_limit = 127;

    // A new group when `name` is empty; else the stored group.
    dialog_group(QWidget* parent, reporter& report, std::string_view name = {});

    QLineEdit* title_field() const { return title_; }
    QListWidget* member_list() const { return list_; }
    QPushButton* add_button() const { return add_; }
    QPushButton* remove_button() const { return remove_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* delete_button() const { return delete_; }  // null for a new group
    const std::vector<std::string>& members() const { return members_; }
    bool changed() const { return changed_; }

    void accept() override;
    // The commands of the buttons.
    void add_members();
    void remove_members();
    void delete_group_entry();

private:
    bool is_new() const { return stored_name_.empty(); }
    void show_members();
    void update_buttons();

    reporter& report_;
    std::string stored_name_;
    std::vector<std::string> members_;  // the list's rows
    QLineEdit* title_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* ok_;
    QPushButton* delete_ = nullptr;
    bool changed_ = false;
};

// Commands 400 to 499 of the main window: the group at `index`, or a new
// one for -1 (refused with a notice when there are 99 groups or no address
// book). True when the groups were changed.
bool run_group_dialog(QWidget* parent, int index, reporter& report);

}  // namespace qm
