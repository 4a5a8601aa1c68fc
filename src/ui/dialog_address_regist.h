#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/reporter.h"

class QLineEdit;
class QPushButton;
class QWidget;

namespace qm {

// "名前?": registers an address of a mail's address list in the address
// book under the name typed (at most 127 CP932 bytes). The field starts with
// the address's display name, ready to be typed over. OK checks the name as
// every address-book name is checked (no "\"(),<>@", no "[" or "]", no
// blank at either end, no entry or group of that name yet) and writes the
// entry. A refused name or a failed write is reported and the dialog stays
// open; it closes once the entry is on disk.
class dialog_address_regist : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t name_byte_limit = 127;

    dialog_address_regist(QWidget* parent, reporter& report, std::string_view address, std::string_view name);

    QLineEdit* name_field() const { return name_; }
    QPushButton* ok_button() const { return ok_; }

    void accept() override;

private:
    void update_ok();

    reporter& report_;
    std::string address_;
    QLineEdit* name_;
    QPushButton* ok_;
};

// Registers `address` (with `name` offered as the entry's name): refused at
// once with a notice when it is no valid address or when the address book is
// full. True when the entry was written.
bool register_address(QWidget* parent, reporter& report, std::string_view address, std::string_view name);

}  // namespace qm
