#pragma once

#include <QDialog>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "config/account_settings.h"
#include "platform/reporter.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace qm {

// What the account dialog did. After `saved` with two different titles the
// account was renamed (the caller moves its marks along,
// rename_account_in_layout); after `deleted` the account directory with all
// its mail is gone. `old_title` is empty for a new account.
struct account_dialog_result {
    enum class outcome { cancelled, saved, deleted } what = outcome::cancelled;
    std::string old_title, new_title;
};

// The account dialog "アカウント": every value of
// "account.ini", each text field limited in CP932 bytes, the ports to five
// digits. Each server's connection security is one choice (なし or SSL/TLS,
// the "over SSL" keys); "証明書を検証する" is the "verify certificate" key.
// SMTP AUTH enables the SMTP ID and password. OK is enabled while the
// title, the address, the POP3 server, port and ID and the SMTP server and
// port are all filled.
//
// OK runs the account checks (check_account) in their order; a refusal is told as a
// notice and the dialog stays open with the focus on the offending field.
// Then the account is created or updated (a failure is told as the file
// error, and the dialog stays open). "削除" (an existing account) asks
// "削除しますか?" and "以下全てのメールが削除されますがよろしいですか?" and
// deletes the account with all its mail.
//
// Passwords: a stored password is never shown; its field is empty with a
// note that a password is stored, and the stored value is written back
// byte for byte unless a new one is typed. A typed password is always
// stored scrambled, so that it reads back exactly as typed, one that begins
// with "?" included. The field's "消す" action forgets a stored password
// (it is then asked for at each round).
class dialog_account : public QDialog {
    Q_OBJECT
public:
    // Each text value takes at most 127 bytes, a port at most five digits.
    static constexpr std::size_t field_byte_limit = account_value_capacity - 1;
    static constexpr int port_digits = 5;

    // `title` is the account to edit; nullptr for a new one.
    dialog_account(QWidget* parent, std::string_view mailbox, const std::string* title, reporter& report);
    ~dialog_account() override;

    const account_dialog_result& outcome() const { return result_; }

    QLineEdit* title_field() const { return title_; }
    QLineEdit* name_field() const { return name_; }
    QLineEdit* address_field() const { return address_; }
    QLineEdit* pop_server_field() const { return pop_server_; }
    QLineEdit* pop_port_field() const { return pop_port_; }
    QComboBox* pop_security() const { return pop_security_; }
    QCheckBox* apop_box() const { return apop_; }
    QLineEdit* pop_id_field() const { return pop_id_; }
    QLineEdit* pop_password_field() const { return pop_password_.field; }
    QCheckBox* pop_remove_box() const { return pop_remove_; }
    QLineEdit* smtp_server_field() const { return smtp_server_; }
    QLineEdit* smtp_port_field() const { return smtp_port_; }
    QComboBox* smtp_security() const { return smtp_security_; }
    QCheckBox* smtp_auth_box() const { return smtp_auth_; }
    QLineEdit* smtp_id_field() const { return smtp_id_; }
    QLineEdit* smtp_password_field() const { return smtp_password_.field; }
    QCheckBox* verify_box() const { return verify_; }
    QLineEdit* auto_cc_field() const { return auto_cc_; }
    QLineEdit* auto_bcc_field() const { return auto_bcc_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* delete_button() const { return delete_; }  // nullptr for a new account
    QPushButton* help_button() const { return help_; }
    // The action in a password field that forgets the stored password;
    // visible only while one is stored.
    QAction* pop_password_forget() const { return pop_password_.forget; }
    QAction* smtp_password_forget() const { return smtp_password_.forget; }

    void accept() override;
    void reject() override;

private:
    // A password field and the password stored for it (scrambled, as the
    // file holds it).
    struct password_field {
        QLineEdit* field = nullptr;
        QAction* forget = nullptr;
        std::string stored;
    };

    QLineEdit* text_field(std::string_view initial);
    QLineEdit* port_field(std::string_view initial);
    void make_password_field(password_field& password, std::string stored);
    void show_password_note(password_field& password);
    void security_changed(QComboBox* choice, QLineEdit* port, const int (&usual_ports)[3], int& former_choice);
    void update_enabling();
    void delete_account_asked();
    // The value to store for a password field; nullopt (after a notice)
    // when the typed text cannot be stored.
    std::optional<std::string> password_to_store(password_field& password);

    std::string mailbox_;
    // The account's title on disk: none for a new account. It differs from
    // `opened_title_` when a save renamed the account but could not write
    // its keys (the dialog stayed open).
    std::optional<std::string> original_title_;
    std::string opened_title_;
    reporter& report_;
    account_dialog_result result_;

    QLineEdit* title_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* pop_server_ = nullptr;
    QLineEdit* pop_port_ = nullptr;
    QComboBox* pop_security_ = nullptr;
    int pop_former_security_ = 0;
    QCheckBox* apop_ = nullptr;
    QLineEdit* pop_id_ = nullptr;
    password_field pop_password_;
    QCheckBox* pop_remove_ = nullptr;
    QLineEdit* smtp_server_ = nullptr;
    QLineEdit* smtp_port_ = nullptr;
    QComboBox* smtp_security_ = nullptr;
    int smtp_former_security_ = 0;
    QCheckBox* smtp_auth_ = nullptr;
    QLineEdit* smtp_id_ = nullptr;
    password_field smtp_password_;
    QCheckBox* verify_ = nullptr;
    QLineEdit* auto_cc_ = nullptr;
    QLineEdit* auto_bcc_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* help_ = nullptr;
};

// Opens the account dialog for the account `title` of the mailbox, or for
// a new account (nullptr); a new one is refused with a notice when the
// mailbox holds the most accounts it may (check_new_account), and an
// account that is no longer there with the file error, the dialog not
// shown. Messages go to `report`.
account_dialog_result run_account_dialog(QWidget* parent, std::string_view mailbox, const std::string* title,
                                         reporter& report);

}  // namespace qm
