#pragma once

#include <QDialog>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/reporter.h"
#include "store/arrange_rules.h"

class QLineEdit;
class QPushButton;

namespace qm {

// The rule dialog "新しい振り分け設定": a header name and a keyword, each at
// most 255 CP932 bytes. It writes the rule itself when OK is pressed: a new
// rule is added to the folder's list, an edited one replaces the rule it was
// opened with. A rule that exists already, one too long for the list, and a
// failed write are reported, and the dialog stays open; it closes only once
// the rule is on disk.
class dialog_arrange_edit : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t field_byte_limit = 255;

    // `folder` is the full path of the folder the rule leads to (ending
    // with "/"); `edited` the rule being changed, none for a new one.
    dialog_arrange_edit(QWidget* parent, std::string_view folder, reporter& report,
                        std::optional<arrange_rule> edited = std::nullopt);

    QLineEdit* header_field() const { return header_; }
    QLineEdit* keyword_field() const { return keyword_; }
    QPushButton* ok_button() const { return ok_; }
    // The rule as stored, after the dialog was accepted.
    const arrange_rule& saved_rule() const { return saved_; }

    void accept() override;

private:
    void update_ok();
    bool write(const arrange_rule& rule);

    std::string folder_;
    reporter& report_;
    std::optional<arrange_rule> edited_;
    QLineEdit* header_;
    QLineEdit* keyword_;
    QPushButton* ok_;
    arrange_rule saved_;
};

}  // namespace qm
