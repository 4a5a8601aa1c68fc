#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/reporter.h"

class QLineEdit;
class QPushButton;
class QWidget;

namespace qm {

// "アドレス帳": one entry of the address book, a name and a mail address of
// at most 127 CP932 bytes each. OK is enabled once both are filled in and,
// for an existing entry, one of them differs from what is stored. OK checks
// the entry (a name fit for a mail header, a valid address, a name no other
// entry or group has) and writes it; an edit renames the entry in the groups
// and accounts too. "削除" (existing entries only) deletes it after asking.
// A refused entry or a failed write is reported and the dialog stays open;
// it closes once the change is on disk.
class dialog_alias : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t field_byte_limit = 127;

    // A new entry when `name` is empty; else the stored entry and its address.
    dialog_alias(QWidget* parent, reporter& report, std::string_view name = {}, std::string_view address = {});

    QLineEdit* name_field() const { return name_; }
    QLineEdit* address_field() const { return address_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* delete_button() const { return delete_; }  // null for a new entry
    // Whether the address book was changed (written or deleted).
    bool changed() const { return changed_; }

    void accept() override;
    void delete_entry();

private:
    bool is_new() const { return stored_name_.empty(); }
    void update_ok();
    bool write(const std::string& name, const std::string& address);
    bool entry_stored(const std::string& name, const std::string& address) const;

    reporter& report_;
    std::string stored_name_;
    std::string stored_address_;
    QLineEdit* name_;
    QLineEdit* address_;
    QPushButton* ok_;
    QPushButton* delete_ = nullptr;
    bool changed_ = false;
};

// Commands 300 to 399 of the main window: the entry at `index` of the
// address book, or a new one for -1 (refused with a notice when the book is
// full). True when the address book was changed.
bool run_address_dialog(QWidget* parent, int index, reporter& report);

}  // namespace qm
