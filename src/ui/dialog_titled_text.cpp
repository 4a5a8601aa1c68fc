#include "ui/dialog_titled_text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "config/signatures.h"
#include "platform/string_table.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"

namespace qm {

dialog_titled_text::dialog_titled_text(QWidget* parent, reporter& report, std::string_view account_root,
                                       std::string_view name, int title_id)
    : QDialog(parent),
      report_(report),
      account_root_(account_root),
      stored_name_(name),
      title_(entry_field(this, name, title_byte_limit, [this] { ok_->setEnabled(!title_->text().isEmpty()); })) {
    setWindowTitle(qs(load_string(title_id)));
}

QPlainTextEdit* dialog_titled_text::add_text_field(std::string_view initial) {
    QPlainTextEdit* field = entry_text_field(this, initial, text_byte_limit);
    texts_.push_back(field);
    return field;
}

void dialog_titled_text::finish_layout(QLayout* texts) {
    auto* title_row = new QFormLayout;
    title_row->addRow(field_label(this, str::entry_title_label, title_), title_);
    QDialogButtonBox* buttons =
        entry_buttons(this, is_new() ? nullptr : std::function<void()>([this] { delete_entry(); }), ok_, delete_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(title_row);
    layout->addLayout(texts, 1);
    layout->addWidget(buttons);
    ok_->setEnabled(!title_->text().isEmpty());
    title_->setFocus();
}

void dialog_titled_text::accept() {
    if (!ok_->isEnabled()) return;  // Enter while OK is disabled
    std::optional<std::string> title = taken_text(title_);
    if (!title) return;
    std::vector<std::string> texts;
    for (QPlainTextEdit* field : texts_) {
        std::optional<std::string> text = taken_text(field);
        if (!text) return;
        texts.push_back(clean_list_text(*text));
    }
    const bool renamed = is_new() || *title != stored_name_;
    if (renamed && entry_exists(*title)) {
        refuse_field(report_, str::name_exists, title_);
        return;
    }
    if (store_entry(*title, texts)) {
        close_changed();
        return;
    }
    report_.error(str::file_error);
    // An edit writes the new entry before it removes the old one: when
    // only the removal failed, both stand, and the dialog closes on them.
    if (!is_new() && renamed && entry_exists(*title) && entry_exists(stored_name_)) close_changed();
}

// By its position now, which a failed edit may have moved.
void dialog_titled_text::delete_entry() {
    if (is_new()) return;
    const auto remove = [this] {
        const int position = stored_position();
        return position >= 0 && delete_entry_at(position);
    };
    if (delete_after_asking(report_, remove, [this] { return entry_exists(stored_name_); })) close_changed();
}

int dialog_titled_text::stored_position() const {
    std::string name;
    for (int index = 0; entry_name(index, name); ++index) {
        if (name == stored_name_) return index;
    }
    return -1;
}

void dialog_titled_text::close_changed() {
    changed_ = true;
    QDialog::accept();
}

}  // namespace qm
