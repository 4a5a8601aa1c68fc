#include "ui/dialog_arrange_edit.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/string_table.h"
#include "ui/dialog_name.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

namespace {

QLineEdit* rule_field(QWidget* parent, std::string_view initial) {
    auto* field = new QLineEdit(parent);
    field->setText(qs(initial));
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 40);
    return field;
}

}  // namespace

dialog_arrange_edit::dialog_arrange_edit(QWidget* parent, std::string_view folder, reporter& report,
                                         std::optional<arrange_rule> edited)
    : QDialog(parent),
      folder_(folder),
      report_(report),
      edited_(std::move(edited)),
      header_(rule_field(this, edited_ ? edited_->header : std::string_view())),
      keyword_(rule_field(this, edited_ ? edited_->keyword : std::string_view())) {
    setWindowTitle(qs(load_string(str::arrange_edit_title)));
    auto* fields = new QFormLayout;
    auto* header_label = new QLabel(qs(load_string(str::arrange_header_label)), this);
    auto* keyword_label = new QLabel(qs(load_string(str::arrange_keyword_label)), this);
    header_label->setBuddy(header_);
    keyword_label->setBuddy(keyword_);
    fields->addRow(header_label, header_);
    fields->addRow(keyword_label, keyword_);
    header_->setAccessibleName(qs(load_string(str::arrange_column_header)));
    keyword_->setAccessibleName(qs(load_string(str::arrange_column_keyword)));

    ok_ = lay_out_with_ok_cancel(this, fields);
    for (QLineEdit* field : {header_, keyword_}) {
        connect(field, &QLineEdit::textEdited, this, [this, field] {
            keep_within_bytes(field, field_byte_limit);
            update_ok();
        });
    }
    update_ok();
    header_->selectAll();
    header_->setFocus();
}

// A rule needs a header name; an empty keyword is a rule of its own ("To:"
// matches every mail with a To line).
void dialog_arrange_edit::update_ok() { ok_->setEnabled(!header_->text().isEmpty()); }

void dialog_arrange_edit::accept() {
    if (header_->text().isEmpty()) return;  // Enter while OK is disabled
    std::optional<std::string> header = typed_cp932(header_->text(), this);
    if (!header) {
        header_->setFocus();
        return;
    }
    std::optional<std::string> keyword = typed_cp932(keyword_->text(), this);
    if (!keyword) {
        keyword_->setFocus();
        return;
    }
    if (!rule_storable(*header, *keyword)) {
        report_.notice(str::arrange_rule_too_long);
        (keyword->size() >= header->size() ? keyword_ : header_)->setFocus();
        return;
    }
    const bool unchanged = edited_ && rule_text(edited_->header, edited_->keyword) == rule_text(*header, *keyword);
    if (!unchanged && rule_exists(folder_, *header, *keyword)) {
        report_.notice(str::name_exists);
        header_->setFocus();
        return;
    }
    arrange_rule rule{std::move(*header), std::move(*keyword)};
    if (!write(rule)) {
        report_.error(str::file_error);
        return;
    }
    saved_ = std::move(rule);
    QDialog::accept();
}

// An edit adds the new rule before it removes the old one, so a failure
// never loses the rule the dialog was opened with.
bool dialog_arrange_edit::write(const arrange_rule& rule) {
    if (!edited_) return add_rule(folder_, rule.header, rule.keyword);
    return replace_rule(folder_, edited_->header, edited_->keyword, rule.header, rule.keyword);
}

}  // namespace qm
