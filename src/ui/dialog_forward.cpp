#include "ui/dialog_forward.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include "message/header_fields.h"
#include "message/part_file.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "store/mail_reading.h"
#include "ui/compose_fields.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

dialog_forward::dialog_forward(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                               reporter& report)
    : QDialog(parent),
      ctx_(ctx),
      source_(source_message_dir),
      report_(report),
      recipient_(recipient_choice(this, {})),
      attachments_(new QCheckBox(qs(load_string(str::forward_attachments)), this)) {
    setWindowTitle(qs(load_string(str::forward_title)));
    const bool has_attachments = !attachment_parts(source_).empty();
    attachments_->setChecked(has_attachments);
    attachments_->setEnabled(has_attachments);
    // Screen readers say the words, not the access key.
    attachments_->setAccessibleName(attachments_->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))));
    auto* fields = new QFormLayout;
    fields->addRow(recipient_label(this, recipient_), recipient_);
    fields->addRow(QString(), attachments_);
    ok_ = lay_out_with_ok_cancel(this, fields);
    recipient_->setFocus();
}

void dialog_forward::accept() {
    const std::optional<std::string> recipient = taken_recipient(recipient_, report_);
    if (!recipient) return;
    const int number = create_forward(ctx_, source_, *recipient, report_, true, attachments_->isChecked());
    if (number < 0) return;  // told; the user may try again or cancel
    draft_number_ = number;
    QDialog::accept();
}

int run_forward_dialog(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                       reporter& report) {
    if (!path_exists(part_file(source_message_dir, 0))) {
        report.error(str::file_error);
        return -1;
    }
    // Only the text is forwarded: without one there is nothing to ask for.
    if (!has_readable_text(source_message_dir)) {
        report.notice(str::compose_no_text_part);
        return -1;
    }
    dialog_forward dialog(parent, ctx, source_message_dir, report);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return dialog.draft_number();
}

}  // namespace qm
