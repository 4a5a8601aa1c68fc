#include "ui/dialog_make_mail.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/string_table.h"
#include "ui/compose_fields.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

dialog_make_mail::dialog_make_mail(QWidget* parent, const compose_context& ctx, reporter& report,
                                   new_mail_start start)
    : QDialog(parent),
      ctx_(ctx),
      report_(report),
      body_(std::move(start.body)),
      template_(name_choice(this, template_names(ctx.account_root))),
      recipient_(recipient_choice(this, start.recipient)),
      subject_(qm::subject_field(this, start.subject)),
      signature_(name_choice(this, signature_names(ctx.account_root))) {
    // The body's last line is a line, so that the signature starts its own.
    if (!body_.empty() && body_.back() != '\n') body_.push_back('\n');
    setWindowTitle(qs(load_string(str::make_mail_title)));
    auto* fields = new QFormLayout;
    fields->addRow(field_label(this, str::compose_template_label, template_), template_);
    fields->addRow(recipient_label(this, recipient_), recipient_);
    fields->addRow(field_label(this, str::compose_subject_label, subject_), subject_);
    fields->addRow(field_label(this, str::compose_signature_label, signature_), signature_);

    ok_ = lay_out_with_ok_cancel(this, fields);
    // A recipient given already (a mailto: link) leaves the subject to write.
    QWidget* first = recipient_->currentText().isEmpty() || !subject_->text().isEmpty()
                         ? static_cast<QWidget*>(recipient_)
                         : static_cast<QWidget*>(subject_);
    first->setFocus();
}

void dialog_make_mail::accept() {
    const std::optional<std::string> recipient = taken_recipient(recipient_, report_);
    if (!recipient) return;
    const std::optional<std::string> subject = taken_text(subject_);
    if (!subject) return;
    const int number = create_new_mail_with_body(ctx_, chosen_name(template_), *recipient, *subject,
                                                 chosen_name(signature_), body_, report_, true);
    if (number < 0) return;  // told; the user may choose otherwise or cancel
    draft_number_ = number;
    QDialog::accept();
}

int run_make_mail_dialog(QWidget* parent, const compose_context& ctx, reporter& report) {
    return run_make_mail_dialog(parent, ctx, new_mail_start{}, report);
}

int run_make_mail_dialog(QWidget* parent, const compose_context& ctx, const new_mail_start& start,
                         reporter& report) {
    dialog_make_mail dialog(parent, ctx, report, start);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return dialog.draft_number();
}

}  // namespace qm
