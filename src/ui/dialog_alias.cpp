#include "ui/dialog_alias.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "config/address_book.h"
#include "config/settings.h"
#include "platform/string_table.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// The entry's address as stored; empty when it has none (lookup_address
// would give the name back).
std::string stored_address(std::string_view name) {
    for (const auto& [entry, address] : read_address_book()) {
        if (entry == name) return address;
    }
    return {};
}

}  // namespace

dialog_alias::dialog_alias(QWidget* parent, reporter& report, std::string_view name, std::string_view address)
    : QDialog(parent),
      report_(report),
      stored_name_(name),
      stored_address_(address),
      name_(entry_field(this, name, field_byte_limit, [this] { update_ok(); })),
      address_(entry_field(this, address, field_byte_limit, [this] { update_ok(); })) {
    setWindowTitle(qs(load_string(str::alias_dialog_title)));
    auto* fields = new QFormLayout;
    fields->addRow(field_label(this, str::alias_name_label, name_), name_);
    fields->addRow(field_label(this, str::alias_address_label, address_), address_);
    QDialogButtonBox* buttons =
        entry_buttons(this, is_new() ? nullptr : std::function<void()>([this] { delete_entry(); }), ok_, delete_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    update_ok();
    name_->setFocus();
}

void dialog_alias::update_ok() {
    const QString name = name_->text(), address = address_->text();
    const bool filled = !name.isEmpty() && !address.isEmpty();
    ok_->setEnabled(filled && (is_new() || name != qs(stored_name_) || address != qs(stored_address_)));
}

void dialog_alias::accept() {
    if (!ok_->isEnabled()) return;  // Enter while OK is disabled
    std::optional<std::string> name = taken_text(name_);
    if (!name) return;
    std::optional<std::string> address = taken_text(address_);
    if (!address) return;
    const bool new_name = is_new() || *name != stored_name_;
    if (const int refused = check_address_entry(*name, *address, new_name)) {
        refuse_field(report_, refused, refused == str::invalid_address ? address_ : name_);
        return;
    }
    if (!write(*name, *address)) {
        report_.error(str::file_error);
        if (!entry_stored(*name, *address)) return;
    }
    changed_ = true;
    QDialog::accept();
}

// A renamed entry is written under its new name before the old one goes
// (rename_address_entry), so a failure keeps it.
bool dialog_alias::write(const std::string& name, const std::string& address) {
    if (is_new()) return add_address_entry(name, address);
    return rename_address_entry(stored_name_, name, address, mailbox_root());
}

// After a failed write: whether the entry itself was stored and only a
// group or an account could not follow it. The dialog then closes on what
// is stored now.
bool dialog_alias::entry_stored(const std::string& name, const std::string& address) const {
    if (is_new() || !is_address_entry(name) || lookup_address(name) != address) return false;
    return name == stored_name_ || !is_address_entry(stored_name_);
}

// Gone from the book is gone, even when a group could not follow.
void dialog_alias::delete_entry() {
    if (is_new()) return;
    if (!delete_after_asking(
            report_, [this] { return delete_address_entry(stored_name_); },
            [this] { return is_address_entry(stored_name_); }))
        return;
    changed_ = true;
    QDialog::accept();
}

bool run_address_dialog(QWidget* parent, int index, reporter& report) {
    return open_entry_dialog(
        report, index, check_new_address_entry, [](int at, std::string& name) { return address_entry_name(at, name); },
        [&](const std::string& name) {
            return changed_by<dialog_alias>(parent, report, name, name.empty() ? std::string() : stored_address(name));
        });
}

}  // namespace qm
