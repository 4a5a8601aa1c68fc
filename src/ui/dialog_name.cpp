#include "ui/dialog_name.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/folder_names.h"
#include "platform/string_table.h"
#include "store/text_search.h"
#include "text/display_text.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

dialog_name::dialog_name(QWidget* parent, std::string_view title, std::string_view initial, std::size_t byte_limit,
                         bool empty_allowed, check accept_check)
    : QDialog(parent),
      field_(new QLineEdit(this)),
      hint_(new QLabel(this)),
      initial_(qs(initial)),
      byte_limit_(byte_limit),
      empty_allowed_(empty_allowed),
      check_(std::move(accept_check)) {
    setWindowTitle(qs(title));
    hint_->setWordWrap(true);
    hint_->hide();
    ok_ = lay_out_with_ok_cancel(this, {field_, hint_});
    field_->setMinimumWidth(field_->fontMetrics().averageCharWidth() * 40);
    field_->setText(initial_);
    field_->selectAll();
    field_->setAccessibleName(windowTitle());
    connect(field_, &QLineEdit::textEdited, this, &dialog_name::limit_and_update);
    limit_and_update(field_->text());
}

void keep_within_bytes(QLineEdit* field, std::size_t byte_limit) {
    const QByteArray utf8 = field->text().toUtf8();
    const std::string_view view(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (fits_field(view, byte_limit)) return;
    const int cursor = field->cursorPosition();
    field->setText(QString::fromUtf8(utf8.constData(), static_cast<qsizetype>(fitting_prefix(view, byte_limit))));
    field->setCursorPosition(std::min(cursor, static_cast<int>(field->text().size())));
}

void dialog_name::set_rule(std::function<bool(std::string_view)> acceptable, int reason) {
    acceptable_ = std::move(acceptable);
    reason_ = reason;
    limit_and_update(field_->text());
}

QString dialog_name::reason() const { return hint_->isHidden() ? QString() : hint_->text(); }

void dialog_name::limit_and_update(const QString&) {
    keep_within_bytes(field_, byte_limit_);
    const QString now = field_->text();
    bool refused = false;
    if (acceptable_ && !now.isEmpty()) {
        const QByteArray utf8 = now.toUtf8();
        const typed_text typed = typed_to_cp932(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        // A character without a CP932 form has its own notice at OK.
        refused = typed.ok && !acceptable_(typed.text);
    }
    const QString reason = refused ? qs(load_string(reason_)) : QString();
    hint_->setText(reason);
    hint_->setVisible(refused);
    field_->setToolTip(reason);
    ok_->setEnabled(!refused && now != initial_ && (empty_allowed_ || !now.isEmpty()));
}

void dialog_name::accept() {
    std::optional<std::string> taken = typed_cp932(field_->text(), this);
    if (!taken || (check_ && !check_(*taken))) {
        field_->setFocus();
        return;
    }
    text_ = std::move(*taken);
    QDialog::accept();
}

std::optional<std::string> ask_name(QWidget* parent, std::string_view title, std::string_view initial,
                                    std::size_t byte_limit, const dialog_name::check& accept_check) {
    dialog_name dialog(parent, title, initial, byte_limit, false, accept_check);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.text();
}

std::optional<std::string> ask_folder_name(QWidget* parent, std::string_view title, std::string_view initial,
                                           const dialog_name::check& accept_check) {
    dialog_name dialog(parent, title, initial, name_field_limit, false, accept_check);
    dialog.set_rule(is_acceptable_folder_name, str::folder_name_rules);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.text();
}

bool ask_search_text(QWidget* parent, std::string& search_text) {
    dialog_name dialog(parent, load_string(str::search_title), search_text, search_text_limit, true);
    if (dialog.exec() != QDialog::Accepted) return false;
    search_text = dialog.text();
    return true;
}

}  // namespace qm
