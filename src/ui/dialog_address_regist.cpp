#include "ui/dialog_address_regist.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "config/address_book.h"
#include "platform/string_table.h"
#include "text/mail_address.h"
#include "ui/dialog_name.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"

namespace qm {

dialog_address_regist::dialog_address_regist(QWidget* parent, reporter& report, std::string_view address,
                                             std::string_view name)
    : QDialog(parent), report_(report), address_(address) {
    setWindowTitle(qs(load_string(str::address_register_title)));
    // The display name as the proposal, within the field's limit.
    name_ = entry_field(this, name, name_byte_limit, [this] { update_ok(); });
    keep_within_bytes(name_, name_byte_limit);
    name_->setAccessibleName(windowTitle());
    name_->selectAll();
    QPushButton* no_delete = nullptr;
    QDialogButtonBox* buttons = entry_buttons(this, nullptr, ok_, no_delete);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name_);
    layout->addWidget(buttons);
    update_ok();
    name_->setFocus();
}

void dialog_address_regist::update_ok() { ok_->setEnabled(!name_->text().isEmpty()); }

void dialog_address_regist::accept() {
    if (!ok_->isEnabled()) return;  // Enter while OK is disabled
    std::optional<std::string> name = taken_text(name_);
    if (!name) return;
    if (const int refused = check_address_entry(*name, address_, true)) {
        refuse_field(report_, refused, name_);
        return;
    }
    if (!add_address_entry(*name, address_)) {
        report_.error(str::file_error);
        return;
    }
    QDialog::accept();
}

bool register_address(QWidget* parent, reporter& report, std::string_view address, std::string_view name) {
    // The book keeps addresses of at most 127 bytes that pass the same check
    // as a typed one.
    if (!is_valid_address(address) || address.size() >= address_name_capacity) {
        report.notice(str::invalid_address);
        return false;
    }
    if (refuse_new_entry(report, check_new_address_entry())) return false;
    dialog_address_regist dialog(parent, report, address, name);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace qm
