#pragma once

#include <string_view>

#include "ui/dialog_titled_text.h"

class QPlainTextEdit;

namespace qm {

// "テンプレート": one of the account's templates, a title with the header
// lines and the body text it puts into a new mail.
class dialog_template : public dialog_titled_text {
    Q_OBJECT
public:
    // `account_root` is the account's directory (ending with "/"); a new
    // template when `name` is empty.
    dialog_template(QWidget* parent, reporter& report, std::string_view account_root, std::string_view name = {});

    QPlainTextEdit* header_field() const { return header_; }
    QPlainTextEdit* body_field() const { return body_; }

protected:
    bool entry_exists(std::string_view name) const override;
    bool entry_name(int index, std::string& name) const override;
    bool store_entry(std::string_view title, const std::vector<std::string>& texts) override;
    bool delete_entry_at(int index) override;

private:
    QPlainTextEdit* header_;
    QPlainTextEdit* body_;
};

// Commands 700 to 799 of the main window: the template at `index` of the
// account in `account_root`, or a new one for -1 (refused with a notice
// when there are 99). True when the templates were changed.
bool run_template_dialog(QWidget* parent, std::string_view account_root, int index, reporter& report);

}  // namespace qm
