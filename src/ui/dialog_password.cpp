#include "ui/dialog_password.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "base/secret_wipe.h"
#include "net/mail_jobs.h"
#include "platform/string_table.h"
#include "store/send_receive.h"
#include "text/display_text.h"
#include "ui/dialog_name.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

namespace {

// Overwrites the characters of a QString in its own buffer. The caller makes
// sure that no other QString shares that buffer, else this would copy it.
void wipe_qstring(QString& text) {
    if (text.isDetached()) wipe_secret(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

void wipe_bytes(QByteArray& bytes) {
    if (bytes.isDetached()) wipe_secret(bytes.data(), static_cast<std::size_t>(bytes.size()));
    bytes.clear();
}

}  // namespace

dialog_password::dialog_password(QWidget* parent, password_server server, std::string_view account_title,
                                 std::string_view host)
    : QDialog(parent), question_(new QLabel(this)), field_(new QLineEdit(this)) {
    const bool pop = server == password_server::pop3;
    setWindowTitle(qs(load_string(pop ? str::password_prompt : str::smtp_password_prompt)));
    question_->setText(qs(load_string(pop ? str::password_for_pop : str::password_for_smtp))
                           .arg(qs(account_title), qs(host)));
    question_->setBuddy(field_);
    question_->setWordWrap(true);
    field_->setEchoMode(QLineEdit::Password);
    field_->setMinimumWidth(field_->fontMetrics().averageCharWidth() * 40);
    field_->setAccessibleName(windowTitle());
    QPushButton* ok = lay_out_with_ok_cancel(this, {question_, field_});
    // No server takes an empty password: OK waits for one.
    ok->setEnabled(false);
    connect(field_, &QLineEdit::textChanged, ok, [this, ok] { ok->setEnabled(!field_->text().isEmpty()); });
    connect(field_, &QLineEdit::textEdited, this, [this] { keep_within_bytes(field_, password_field_limit); });
    field_->setFocus();
}

dialog_password::~dialog_password() { wipe_field(); }

void dialog_password::wipe_field() {
    // The field's text goes to its last copy, which is then overwritten in place.
    QString typed = field_->text();
    field_->setText(QString(typed.size(), QChar(u'*')));
    field_->clear();
    wipe_qstring(typed);
}

bool dialog_password::take_password(std::string& password) {
    QString typed = field_->text();
    field_->setText(QString(typed.size(), QChar(u'*')));
    field_->clear();
    QByteArray utf8 = typed.toUtf8();
    wipe_qstring(typed);
    typed_text converted =
        typed_to_cp932(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    wipe_bytes(utf8);
    wipe_password(password);
    password.clear();
    if (converted.ok) {
        password.reserve(converted.text.size());
        password.assign(converted.text);
    }
    wipe_password(converted.text);
    wipe_password(converted.refused);
    for (std::string& character : converted.refused_characters) wipe_password(character);
    return converted.ok;
}

bool ask_round_password(QWidget* parent, password_server server, std::string_view account_title,
                        std::string_view host, std::string& password) {
    dialog_password dialog(parent, server, account_title, host);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) return false;
        if (dialog.take_password(password)) return true;
        // The field was emptied: the user types the password again.
        show_message(&dialog, message_kind::notice, load_string(str::password_bad_character));
    }
}

}  // namespace qm
