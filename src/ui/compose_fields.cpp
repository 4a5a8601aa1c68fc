#include "ui/compose_fields.h"

#include <QByteArray>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>
#include <algorithm>

#include "config/address_book.h"
#include "config/signatures.h"
#include "message/message_lines.h"
#include "platform/string_table.h"
#include "ui/dialog_name.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// Each item keeps its name's own bytes: what is shown went through the
// display conversion and need not convert back to the same bytes.
void add_name(QComboBox* choice, std::string_view name) {
    choice->addItem(qs(name), QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

std::string item_name(const QComboBox* choice, int index) {
    return choice->itemData(index).toByteArray().toStdString();
}

template <class NameAt>
std::vector<std::string> names_of(NameAt name_at) {
    std::vector<std::string> names;
    std::string name;
    for (int index = 0; name_at(index, name); ++index) {
        // A name given twice in a file is one choice.
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

}  // namespace

std::vector<std::string> template_names(std::string_view account_root) {
    return names_of([&](int index, std::string& name) { return template_name(account_root, index, name); });
}

std::vector<std::string> signature_names(std::string_view account_root) {
    return names_of([&](int index, std::string& name) { return signature_name(account_root, index, name); });
}

QComboBox* name_choice(QWidget* parent, const std::vector<std::string>& names) {
    auto* choice = new QComboBox(parent);
    choice->addItem(qs(load_string(str::compose_none)), QByteArray());
    for (const std::string& name : names) add_name(choice, name);
    choice->setEnabled(!names.empty());
    return choice;
}

std::string chosen_name(const QComboBox* choice) { return item_name(choice, choice->currentIndex()); }

QComboBox* recipient_choice(QWidget* parent, std::string_view initial) {
    auto* field = new QComboBox(parent);
    field->setEditable(true);
    // The list only offers names: what is typed is never added to it, and
    // nothing is completed behind the user's back.
    field->setInsertPolicy(QComboBox::NoInsert);
    field->setCompleter(nullptr);
    const auto entries = names_of([](int index, std::string& name) { return address_entry_name(index, name); });
    const auto groups = names_of([](int index, std::string& name) { return group_name(index, name); });
    for (const std::string& name : entries) add_name(field, name);
    for (const std::string& name : groups) {
        if (std::find(entries.begin(), entries.end(), name) == entries.end()) add_name(field, name);
    }
    field->setCurrentIndex(-1);
    field->setEditText(qs(cut_to_capacity(initial, recipient_field_limit + 1)));
    field->setToolTip(qs(load_string(str::compose_recipient_tip)));
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 40);
    QLineEdit* edit = field->lineEdit();
    QObject::connect(edit, &QLineEdit::textEdited, field, [edit] { keep_within_bytes(edit, recipient_field_limit); });
    return field;
}

QLabel* recipient_label(QWidget* parent, QComboBox* field) {
    QLabel* label = field_label(parent, str::compose_recipient_label, field);
    field->lineEdit()->setAccessibleName(field->accessibleName());
    return label;
}

std::optional<std::string> taken_recipient(QComboBox* field, reporter& report) {
    const QString typed = field->currentText().trimmed();
    std::optional<std::string> recipient;
    if (const int item = field->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive); item >= 0)
        recipient = item_name(field, item);
    else
        recipient = typed_cp932(typed, field->window());
    if (recipient && is_valid_recipient(*recipient)) return recipient;
    if (recipient) report.notice(str::invalid_address);
    field->setFocus();
    field->lineEdit()->selectAll();
    return std::nullopt;
}

QLineEdit* subject_field(QWidget* parent, std::string_view initial) {
    return entry_field(parent, cut_to_capacity(initial, subject_field_limit + 1), subject_field_limit, {});
}

}  // namespace qm
