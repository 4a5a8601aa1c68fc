#include "ui/dialog_reply.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "message/header_fields.h"
#include "message/part_file.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "ui/compose_fields.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

namespace {

QCheckBox* check_box(QWidget* parent, int text_id) {
    auto* box = new QCheckBox(qs(load_string(text_id)), parent);
    // Screen readers say the words, not the access key.
    box->setAccessibleName(box->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))));
    return box;
}

}  // namespace

dialog_reply::dialog_reply(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                           reporter& report)
    : QDialog(parent),
      ctx_(ctx),
      source_(source_message_dir),
      report_(report),
      template_(name_choice(this, template_names(ctx.account_root))),
      subject_(qm::subject_field(this, "")),
      signature_(name_choice(this, signature_names(ctx.account_root))),
      quote_(check_box(this, str::reply_quote)),
      reply_to_all_(check_box(this, str::reply_to_all)) {
    setWindowTitle(qs(load_string(str::reply_title)));
    subject_->setText(QString::fromStdString(offered_reply_subject(source_message_dir)));
    auto* fields = new QFormLayout;
    fields->addRow(field_label(this, str::compose_template_label, template_), template_);
    fields->addRow(field_label(this, str::compose_subject_label, subject_), subject_);
    fields->addRow(field_label(this, str::compose_signature_label, signature_), signature_);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(quote_);
    boxes->addWidget(reply_to_all_);
    boxes->addStretch(1);
    fields->addRow(boxes);
    quote_->setChecked(true);
    reply_to_all_->setEnabled(reply_to_all_possible(source_));

    ok_ = lay_out_with_ok_cancel(this, fields);
    // The subject offered is usually kept: the focus starts on the first
    // choice, where a key pressed by chance replaces nothing.
    for (QWidget* field : {static_cast<QWidget*>(template_), static_cast<QWidget*>(signature_),
                           static_cast<QWidget*>(quote_)}) {
        if (!field->isEnabled()) continue;
        field->setFocus();
        break;
    }
}

void dialog_reply::accept() {
    const std::optional<std::string> subject = taken_text(subject_);
    if (!subject) return;
    const bool to_all = reply_to_all_->isEnabled() && reply_to_all_->isChecked();
    const int number = create_reply(ctx_, source_, chosen_name(template_), to_all, *subject, quote_->isChecked(),
                                    chosen_name(signature_), report_, true);
    if (number < 0) return;  // told; the user may choose otherwise or cancel
    draft_number_ = number;
    QDialog::accept();
}

int run_reply_dialog(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                     reporter& report) {
    if (!path_exists(part_file(source_message_dir, 0))) {
        report.error(str::file_error);
        return -1;
    }
    dialog_reply dialog(parent, ctx, source_message_dir, report);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return dialog.draft_number();
}

}  // namespace qm
