#pragma once

#include <string_view>

#include "ui/dialog_titled_text.h"

class QPlainTextEdit;

namespace qm {

// "署名": one of the account's signatures, a title and its text.
class dialog_signature : public dialog_titled_text {
    Q_OBJECT
public:
    // `account_root` is the account's directory (ending with "/"); a new
    // signature when `name` is empty.
    dialog_signature(QWidget* parent, reporter& report, std::string_view account_root, std::string_view name = {});

    QPlainTextEdit* text_field() const { return text_; }

protected:
    bool entry_exists(std::string_view name) const override;
    bool entry_name(int index, std::string& name) const override;
    bool store_entry(std::string_view title, const std::vector<std::string>& texts) override;
    bool delete_entry_at(int index) override;

private:
    QPlainTextEdit* text_;
};

// Commands 600 to 699 of the main window: the signature at `index` of the
// account in `account_root`, or a new one for -1 (refused with a notice
// when there are 99). True when the signatures were changed.
bool run_signature_dialog(QWidget* parent, std::string_view account_root, int index, reporter& report);

}  // namespace qm
