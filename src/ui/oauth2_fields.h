#pragma once

#include <QGroupBox>
#include <cstddef>
#include <string>

#include "config/account_settings.h"
#include "platform/reporter.h"
#include "ui/dialog_account.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

// The account dialog's group "OAuth 2.0": the account's registration with
// its provider (authorization and token addresses, client id and secret,
// scopes) and the browser step that earns the refresh token. Choosing a
// provider fills the addresses and scopes; editing them afterwards leaves
// the choice as it is. The client secret is a secret field (a stored one is
// never shown). A refresh token earned here is kept, scrambled, until the
// dialog saves it with OK.
class oauth2_fields : public QGroupBox {
    Q_OBJECT
public:
    // The addresses, client id, client secret and scopes take at most 1023 bytes.
    static constexpr std::size_t field_byte_limit = oauth2_value_capacity - 1;

    // The registration and refresh token of `values`; its client secret and
    // refresh token are taken over (and wiped when the group goes).
    oauth2_fields(QWidget* parent, account_values& values);
    ~oauth2_fields() override;

    QComboBox* preset() const { return preset_; }  // その他 (手入力) first, then the presets
    QLineEdit* authorize_url_field() const { return authorize_url_; }
    QLineEdit* token_url_field() const { return token_url_; }
    QLineEdit* client_id_field() const { return client_id_; }
    QLineEdit* client_secret_field() const { return client_secret_.field; }
    QLineEdit* scope_field() const { return scope_; }
    QPushButton* sign_in_button() const { return sign_in_; }
    QLabel* status_label() const { return status_; }

    // The group's values into `values`: texts as CP932, the client secret
    // and refresh token scrambled. False after a notice, with the field
    // focused, when a typed text cannot be stored.
    bool take(account_values& values);
    // The field that a refusal of check_oauth2_settings is about (the first
    // empty or non-https address, or the client id).
    QLineEdit* refused_field(int refusal) const;
    // The browser step for the registration in `values` (as take() fills
    // it), run through the job dialog without blocking the window: on
    // success the refresh token is kept and "ブラウザでの認可が完了しました."
    // told. A failure is told by the job dialog, a listener that cannot be
    // opened as the system error.
    void sign_in(const account_values& values, reporter& report);

private:
    QLineEdit* text_field(std::string_view initial);
    void preset_chosen(int index);
    void show_status();

    QComboBox* preset_ = nullptr;
    QLineEdit* authorize_url_ = nullptr;
    QLineEdit* token_url_ = nullptr;
    QLineEdit* client_id_ = nullptr;
    secret_field client_secret_;
    QLineEdit* scope_ = nullptr;
    QPushButton* sign_in_ = nullptr;
    QLabel* status_ = nullptr;
    std::string refresh_token_;  // scrambled; empty when none is held
};

}  // namespace qm
