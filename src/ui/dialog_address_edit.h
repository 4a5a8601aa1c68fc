#pragma once

#include <QDialog>
#include <QFont>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/reporter.h"
#include "store/address_rows.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qm {

// The kinds are padded for a font whose kanji are twice as wide as its
// letters: a fixed-pitch Japanese face where one is installed, at the size
// of `base`.
QFont kind_label_font(const QFont& base);

// "新しいアドレス": one address of a draft's header. The kind ("宛先
// (To)" ...) chooses the field; the recipient is typed or chosen from the
// address book's entries and the groups, at most 127 CP932 bytes. OK
// writes it into the draft's header file: a new address is added to the
// field, an edited one takes the place of the row it was opened with. A
// recipient that is neither a valid address, an entry nor a group, a list
// that would grow past its limit and a failed write are reported, and the
// dialog stays open; it closes only once the header is written.
class dialog_address_edit : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t recipient_byte_limit = 127;

    // `header_path`: the draft's header file; `edited`: the row being
    // changed, none for a new address (offered as To).
    dialog_address_edit(QWidget* parent, std::string_view header_path, reporter& report,
                        std::optional<address_row> edited = std::nullopt);

    QComboBox* kind_choice() const { return kind_; }
    QComboBox* recipient_choice() const { return recipient_; }
    QLineEdit* recipient_field() const;
    QPushButton* ok_button() const { return ok_; }
    // The field and recipient written, after the dialog was accepted.
    int saved_field() const { return saved_field_; }
    const std::string& saved_recipient() const { return saved_recipient_; }

    void accept() override;

private:
    void update_ok();

    std::string header_path_;
    reporter& report_;
    std::optional<address_row> edited_;
    QComboBox* kind_;
    QComboBox* recipient_;
    QPushButton* ok_;
    int saved_field_ = -1;
    std::string saved_recipient_;
};

}  // namespace qm
