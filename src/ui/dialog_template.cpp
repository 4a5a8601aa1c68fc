#include "ui/dialog_template.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <utility>

#include "config/signatures.h"
#include "platform/string_table.h"
#include "store/entry_limits.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// The stored header and body as the fields show them, whole up to the
// fields' limit.
std::pair<std::string, std::string> stored_texts(std::string_view account_root, std::string_view name) {
    std::pair<std::string, std::string> texts;
    if (name.empty()) return texts;
    constexpr std::size_t capacity = dialog_titled_text::text_byte_limit + 1;
    template_text(account_root, name, texts.first, capacity, texts.second, capacity);
    return texts;
}

}  // namespace

dialog_template::dialog_template(QWidget* parent, reporter& report, std::string_view account_root,
                                 std::string_view name)
    : dialog_titled_text(parent, report, account_root, name, str::template_dialog_title) {
    auto [header, body] = stored_texts(account_root, name);
    header_ = add_text_field(header);
    body_ = add_text_field(body);
    header_->setAccessibleName(qs(load_string(str::template_header_name)));
    body_->setAccessibleName(qs(load_string(str::template_body_name)));
    auto* texts = new QVBoxLayout;
    texts->addWidget(header_, 1);
    texts->addWidget(new QLabel(qs(load_string(str::template_divider)), this), 0, Qt::AlignHCenter);
    texts->addWidget(body_, 2);
    finish_layout(texts);
}

bool dialog_template::entry_exists(std::string_view name) const { return template_exists(account_root(), name); }

bool dialog_template::entry_name(int index, std::string& name) const {
    return template_name(account_root(), index, name);
}

bool dialog_template::store_entry(std::string_view title, const std::vector<std::string>& texts) {
    if (is_new()) return save_template(account_root(), title, texts.at(0), texts.at(1));
    return replace_template(account_root(), stored_name(), title, texts.at(0), texts.at(1));
}

bool dialog_template::delete_entry_at(int index) { return delete_template(account_root(), index); }

bool run_template_dialog(QWidget* parent, std::string_view account_root, int index, reporter& report) {
    return open_entry_dialog(
        report, index, [account_root] { return check_new_template(account_root); },
        [account_root](int at, std::string& name) { return template_name(account_root, at, name); },
        [&](const std::string& name) { return changed_by<dialog_template>(parent, report, account_root, name); });
}

}  // namespace qm
