#include "ui/dialog_signature.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "config/signatures.h"
#include "platform/string_table.h"
#include "store/entry_limits.h"
#include "ui/entry_dialog.h"

namespace qm {

namespace {

// The stored text as a field shows it, whole up to the field's limit.
std::string stored_text(std::string_view account_root, std::string_view name) {
    if (name.empty()) return {};
    return signature_text(account_root, name, dialog_titled_text::text_byte_limit + 1);
}

}  // namespace

dialog_signature::dialog_signature(QWidget* parent, reporter& report, std::string_view account_root,
                                   std::string_view name)
    : dialog_titled_text(parent, report, account_root, name, str::signature_dialog_title),
      text_(add_text_field(stored_text(account_root, name))) {
    auto* texts = new QVBoxLayout;
    texts->addWidget(field_label(this, str::signature_text_label, text_));
    texts->addWidget(text_, 1);
    finish_layout(texts);
}

bool dialog_signature::entry_exists(std::string_view name) const { return signature_exists(account_root(), name); }

bool dialog_signature::entry_name(int index, std::string& name) const {
    return signature_name(account_root(), index, name);
}

bool dialog_signature::store_entry(std::string_view title, const std::vector<std::string>& texts) {
    if (is_new()) return save_signature(account_root(), title, texts.at(0));
    return replace_signature(account_root(), stored_name(), title, texts.at(0));
}

bool dialog_signature::delete_entry_at(int index) { return delete_signature(account_root(), index); }

bool run_signature_dialog(QWidget* parent, std::string_view account_root, int index, reporter& report) {
    return open_entry_dialog(
        report, index, [account_root] { return check_new_signature(account_root); },
        [account_root](int at, std::string& name) { return signature_name(account_root, at, name); },
        [&](const std::string& name) { return changed_by<dialog_signature>(parent, report, account_root, name); });
}

}  // namespace qm
