#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <string_view>

#include "config/account_settings.h"

class QLabel;
class QLineEdit;

namespace qm {

// A password typed into the prompt is at most this many bytes (CP932).
inline constexpr std::size_t password_field_limit = password_capacity - 1;

enum class password_server;

// The password prompt of a round: "POP3パスワード?" or "SMTPパスワード?",
// a text that names the account and the server host, a field that hides what
// is typed, OK and Cancel. The password is used for this round only: it is
// handed over once and the field is overwritten, never stored.
class dialog_password : public QDialog {
    Q_OBJECT
public:
    dialog_password(QWidget* parent, password_server server, std::string_view account_title, std::string_view host);
    ~dialog_password() override;

    QLineEdit* field() const { return field_; }
    QLabel* question() const { return question_; }

    // Moves the typed password (CP932) into `password` and overwrites the
    // field and every copy made on the way; false (and `password` empty)
    // when it holds a character CP932 cannot hold.
    bool take_password(std::string& password);

private:
    void wipe_field();

    QLabel* question_;
    QLineEdit* field_;
};

// Asks for the password of the account's server; false when cancelled.
bool ask_round_password(QWidget* parent, password_server server, std::string_view account_title,
                        std::string_view host, std::string& password);

}  // namespace qm
