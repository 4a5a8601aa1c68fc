#include "ui/entry_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "platform/string_table.h"
#include "ui/dialog_name.h"
#include "ui/qt_text.h"
#include "ui/text_field_limit.h"
#include "ui/ok_cancel_row.h"

namespace qm {

QLineEdit* entry_field(QWidget* parent, std::string_view initial, std::size_t byte_limit,
                       std::function<void()> edited) {
    auto* field = new QLineEdit(parent);
    field->setText(qs(initial));
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 40);
    QObject::connect(field, &QLineEdit::textEdited, parent, [field, byte_limit, edited = std::move(edited)] {
        keep_within_bytes(field, byte_limit);
        if (edited) edited();
    });
    return field;
}

QPlainTextEdit* entry_text_field(QWidget* parent, std::string_view initial, std::size_t byte_limit) {
    auto* field = new QPlainTextEdit(parent);
    // A carriage return would make a line of its own.
    QString text = qs(initial);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    field->setPlainText(text);
    field->setTabChangesFocus(true);
    field->setLineWrapMode(QPlainTextEdit::NoWrap);
    field->setMinimumSize(field->fontMetrics().averageCharWidth() * 64, field->fontMetrics().lineSpacing() * 8);
    keep_text_within_bytes(field, byte_limit);
    return field;
}

QLabel* field_label(QWidget* parent, int text_id, QWidget* field) {
    auto* label = new QLabel(qs(load_string(text_id)), parent);
    label->setBuddy(field);
    // Screen readers say the field's name without the key and the colon.
    QString name = label->text();
    name.remove(QRegularExpression(QStringLiteral("\\(&.\\)|:$")));
    field->setAccessibleName(name);
    return label;
}

QDialogButtonBox* entry_buttons(QDialog* dialog, std::function<void()> delete_entry, QPushButton*& ok,
                                QPushButton*& delete_button) {
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    ok = buttons->button(QDialogButtonBox::Ok);
    delete_button = nullptr;
    if (delete_entry) {
        delete_button = buttons->addButton(qs(load_string(str::entry_dialog_delete)), QDialogButtonBox::ResetRole);
        delete_button->setAutoDefault(false);
        QObject::connect(delete_button, &QPushButton::clicked, dialog, std::move(delete_entry));
    }
    return buttons;
}

std::optional<std::string> taken_text(QLineEdit* field) {
    std::optional<std::string> text = typed_cp932(field->text(), field->window());
    if (!text) field->setFocus();
    return text;
}

std::optional<std::string> taken_text(QPlainTextEdit* field) {
    std::optional<std::string> text = typed_cp932(field->toPlainText(), field->window());
    if (!text) field->setFocus();
    return text;
}

void refuse_field(reporter& report, int text_id, QLineEdit* field) {
    report.notice(text_id);
    field->setFocus();
    field->selectAll();
}

bool delete_after_asking(reporter& report, const std::function<bool()>& remove,
                         const std::function<bool()>& still_there) {
    if (!report.confirm(str::confirm_delete)) return false;
    if (!remove()) report.error(str::file_error);
    return !still_there();
}

bool open_entry_dialog(reporter& report, int index, const std::function<int()>& check_new,
                       const std::function<bool(int, std::string&)>& name_at,
                       const std::function<bool(const std::string&)>& run) {
    std::string name;
    if (index < 0) {
        if (refuse_new_entry(report, check_new())) return false;
    } else if (!name_at(index, name)) {
        return false;
    }
    return run(name);
}

bool refuse_new_entry(reporter& report, int check) {
    if (check == 0) return false;
    if (check == str::file_error)
        report.error(check);
    else
        report.notice(check);
    return true;
}

}  // namespace qm
