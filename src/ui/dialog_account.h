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
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class oauth2_fields;

// A field for a secret (a password, the client secret) and the secret stored
// for it, scrambled as the file holds it. The stored secret is never shown:
// the empty field says whether there is one (`none_note`, a string id, when
// there is none; 0 for no note), the field's "消す" action forgets it, and
// it is written back byte for byte unless a new one is typed. The stored
// secret is wiped when the object goes.
struct secret_field {
    QLineEdit* field = nullptr;
    QAction* forget = nullptr;
    std::string stored;
    int none_note = 0;
    secret_field() = default;
    secret_field(const secret_field&) = delete;
    secret_field& operator=(const secret_field&) = delete;
    ~secret_field();
};
void make_secret_field(QWidget* owner, secret_field& secret, std::string stored, int none_note,
                       std::size_t byte_limit);
// The value to store: the stored one when nothing was typed, else the typed
// text scrambled, a typed one that begins with "?" included; nullopt (after
// a notice) when the typed text cannot be stored.
std::optional<std::string> secret_to_store(const secret_field& secret);
// The label of an account field (string `id`), which also names the field as
// a screen reader speaks it: without its access key or colon, after the
// group's title when it is in one.
QLabel* account_field_label(QWidget* parent, int id, QWidget* buddy, const QString& group = {});

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
// SMTP AUTH enables the SMTP ID and password. Each server logs in with a
// password or with OAuth 2.0 (認証方式): with OAuth 2.0 its password (and
// APOP) is unused, the SMTP ID serves SMTP's login without SMTP AUTH, and
// the group "OAuth 2.0" (oauth2_fields) is enabled. OK is enabled while the
// title, the address, the POP3 server, port and ID and the SMTP server and
// port are all filled.
//
// OK runs the account checks (check_account) in their order; a refusal is told as a
// notice and the dialog stays open with the focus on the offending field.
// Then the OAuth 2.0 checks (check_oauth2_settings), the same way. Then the
// secrets go to their place (place_account_secrets): the keyring when
// "キーリングに保管する" is checked (it can be only while a keyring
// answers), else account.ini; a keyring that refuses is told and the dialog
// stays open. Then the account is created or updated (a failure is told as
// the file error, and the dialog stays open); a keyring the account no
// longer uses is emptied after the save, and entries made for a save that
// failed are forgotten. "削除" (an existing account) asks
// "削除しますか?" and "以下全てのメールが削除されますがよろしいですか?" and
// deletes the account with all its mail.
//
// Passwords are secret fields (secret_field); a forgotten password is asked
// for at each round. The keyring box is checked while a keyring runs (and
// for an account whose secrets are in one), so that saving moves them there.
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
    QComboBox* pop_login() const { return pop_login_; }  // パスワード, OAuth 2.0
    QCheckBox* apop_box() const { return apop_; }
    QLineEdit* pop_id_field() const { return pop_id_; }
    QLineEdit* pop_password_field() const { return pop_password_.field; }
    QCheckBox* pop_remove_box() const { return pop_remove_; }
    QLineEdit* smtp_server_field() const { return smtp_server_; }
    QLineEdit* smtp_port_field() const { return smtp_port_; }
    QComboBox* smtp_security() const { return smtp_security_; }
    QComboBox* smtp_login() const { return smtp_login_; }
    QCheckBox* smtp_auth_box() const { return smtp_auth_; }
    QLineEdit* smtp_id_field() const { return smtp_id_; }
    QLineEdit* smtp_password_field() const { return smtp_password_.field; }
    QCheckBox* verify_box() const { return verify_; }
    QLineEdit* auto_cc_field() const { return auto_cc_; }
    QLineEdit* auto_bcc_field() const { return auto_bcc_; }
    oauth2_fields* oauth2() const { return oauth2_; }
    QCheckBox* keyring_box() const { return keyring_; }
    QLabel* keyring_note() const { return keyring_note_; }
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
    QLineEdit* text_field(std::string_view initial);
    QLineEdit* port_field(std::string_view initial);
    QComboBox* login_choice(bool oauth2);
    void make_keyring_box(std::string keyring_id);
    void security_changed(QComboBox* choice, QLineEdit* port, const int (&usual_ports)[3], int& former_choice);
    void update_enabling();
    void show_keyring_note();
    void delete_account_asked();
    void sign_in_asked();
    // The choices of the combo boxes and check boxes.
    void take_choices(account_values& values) const;
    // check_oauth2_settings; a refusal is told with its field focused.
    bool oauth2_settings_pass(const account_values& values);
    // Everything OK saves; false after a refusal was told.
    bool take_values(std::string& title, account_values& values);
    bool save(const std::string& title, account_values& values);

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
    QComboBox* pop_login_ = nullptr;
    QCheckBox* apop_ = nullptr;
    QLineEdit* pop_id_ = nullptr;
    secret_field pop_password_;
    QCheckBox* pop_remove_ = nullptr;
    QLineEdit* smtp_server_ = nullptr;
    QLineEdit* smtp_port_ = nullptr;
    QComboBox* smtp_security_ = nullptr;
    int smtp_former_security_ = 0;
    QComboBox* smtp_login_ = nullptr;
    QCheckBox* smtp_auth_ = nullptr;
    QLineEdit* smtp_id_ = nullptr;
    secret_field smtp_password_;
    QCheckBox* verify_ = nullptr;
    QLineEdit* auto_cc_ = nullptr;
    QLineEdit* auto_bcc_ = nullptr;
    oauth2_fields* oauth2_ = nullptr;
    // The account's keyring id as saved: empty while its secrets are in
    // account.ini.
    std::string keyring_id_;
    QCheckBox* keyring_ = nullptr;
    QLabel* keyring_note_ = nullptr;
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
