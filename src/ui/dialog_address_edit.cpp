#include "ui/dialog_address_edit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/address_book.h"
#include "platform/string_table.h"
#include "store/compose.h"
#include "ui/dialog_name.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

namespace {

QComboBox* make_kind_choice(QWidget* parent, int field) {
    auto* choice = new QComboBox(parent);
    choice->setFont(kind_label_font(choice->font()));
    for (int i = 0; i < static_cast<int>(address_list_fields.size()); ++i) choice->addItem(qs(address_kind_label(i)));
    choice->setCurrentIndex(field);
    return choice;
}

// The entries of the address book, then the groups: the names a recipient
// may be instead of an address.
QComboBox* make_recipient_choice(QWidget* parent, std::string_view initial) {
    auto* choice = new QComboBox(parent);
    choice->setEditable(true);
    choice->setInsertPolicy(QComboBox::NoInsert);
    std::string name;
    for (int i = 0; address_entry_name(i, name); ++i) choice->addItem(qs(name));
    for (int i = 0; group_name(i, name); ++i) choice->addItem(qs(name));
    choice->setEditText(qs(initial));
    choice->setMinimumWidth(choice->fontMetrics().averageCharWidth() * 40);
    return choice;
}

}  // namespace

QFont kind_label_font(const QFont& base) {
    QFont font = base;
    font.setFamilies({QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAGothic"),
                      QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

dialog_address_edit::dialog_address_edit(QWidget* parent, std::string_view header_path, reporter& report,
                                         std::optional<address_row> edited)
    : QDialog(parent),
      header_path_(header_path),
      report_(report),
      edited_(std::move(edited)),
      kind_(make_kind_choice(this, edited_ ? edited_->field : address_field_to)),
      recipient_(make_recipient_choice(this, edited_ ? edited_->address : std::string())) {
    setWindowTitle(qs(load_string(str::address_edit_title)));
    auto* fields = new QFormLayout;
    fields->addRow(field_label(this, str::address_edit_kind_label, kind_), kind_);
    fields->addRow(field_label(this, str::address_edit_target_label, recipient_), recipient_);
    recipient_field()->setAccessibleName(recipient_->accessibleName());

    ok_ = lay_out_with_ok_cancel(this, fields);
    connect(recipient_field(), &QLineEdit::textEdited, this, [this] {
        keep_within_bytes(recipient_field(), recipient_byte_limit);
        update_ok();
    });
    connect(recipient_, &QComboBox::currentTextChanged, this, [this] { update_ok(); });
    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { update_ok(); });
    update_ok();
    recipient_field()->selectAll();
    recipient_->setFocus();
}

QLineEdit* dialog_address_edit::recipient_field() const { return recipient_->lineEdit(); }

// A recipient is needed; an edit must change the kind or the recipient.
void dialog_address_edit::update_ok() {
    const QString recipient = recipient_->currentText();
    const bool changed =
        !edited_ || kind_->currentIndex() != edited_->field || recipient != qs(edited_->address);
    ok_->setEnabled(!recipient.isEmpty() && changed);
}

void dialog_address_edit::accept() {
    if (!ok_->isEnabled()) return;  // Enter while OK is disabled
    std::optional<std::string> recipient = typed_cp932(recipient_->currentText(), this);
    if (!recipient) {
        recipient_->setFocus();
        return;
    }
    const int field = kind_->currentIndex();
    const int refused = edited_ ? change_address(header_path_, *edited_, field, *recipient)
                                : add_address(header_path_, field, *recipient);
    if (refused == str::file_error) {
        report_.error(refused);
        return;
    }
    if (refused != 0) {
        report_.notice(refused);
        recipient_->setFocus();
        recipient_field()->selectAll();
        return;
    }
    saved_field_ = field;
    saved_recipient_ = std::move(*recipient);
    QDialog::accept();
}

}  // namespace qm
