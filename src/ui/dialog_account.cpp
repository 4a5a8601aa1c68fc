#include "ui/dialog_account.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "base/secret_wipe.h"
#include "config/account_secrets.h"
#include "config/secret_store.h"
#include "platform/string_table.h"
#include "store/accounts.h"
#include "store/entry_limits.h"
#include "ui/dialog_name.h"
#include "ui/help_window.h"
#include "ui/oauth2_fields.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

namespace {

// The choices of a server's connection security, in the order shown.
constexpr int security_none = 0;
constexpr int security_ssl = 1;
constexpr int security_upgrade = 2;  // STARTTLS (SMTP) or STLS (POP3)
// The usual port of each choice: a port left at the one of the former
// choice follows the new one.
constexpr int pop_usual_ports[] = {default_pop_port, 995, default_pop_port};
constexpr int smtp_usual_ports[] = {default_smtp_port, 465, 587};
// The choices of a server's login, in the order shown.
constexpr int login_by_password = 0;
constexpr int login_by_oauth2 = 1;

int security_index(bool over_ssl, bool upgrade) {
    return over_ssl ? security_ssl : upgrade ? security_upgrade : security_none;
}

QString text_of(int id) { return qs(load_string(id)); }

// A label as a screen reader names a field: without its access key ("(&P)"
// or "&") and without the colon.
QString spoken(const QString& label) {
    QString plain = label;
    plain.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    plain = without_mnemonic(plain);
    if (plain.endsWith(QLatin1Char(':'))) plain.chop(1);
    return plain.trimmed();
}

QLabel* label_for(QWidget* parent, int id, QWidget* buddy, const QString& group = {}) {
    return account_field_label(parent, id, buddy, group);
}

void wipe(std::string& secret) {
    wipe_password(secret);
    secret.clear();
}

void wipe_secrets(account_values& values) {
    for (std::string* secret : {&values.pop_password, &values.smtp_password, &values.oauth2_client_secret,
                                &values.oauth2_refresh_token})
        wipe(*secret);
}

// A stored secret is never shown: the empty field says whether there is one.
void show_secret_note(secret_field& secret) {
    const bool stored = !secret.stored.empty();
    secret.field->setPlaceholderText(stored ? text_of(str::account_password_stored)
                                     : secret.none_note ? text_of(secret.none_note)
                                                        : QString());
    secret.forget->setVisible(stored);
}

}  // namespace

secret_field::~secret_field() { wipe(stored); }

void make_secret_field(QWidget* owner, secret_field& secret, std::string stored, int none_note,
                       std::size_t byte_limit) {
    secret.stored = std::move(stored);
    secret.none_note = none_note;
    secret.field = new QLineEdit(owner);
    QLineEdit* field = secret.field;
    field->setEchoMode(QLineEdit::Password);
    // Wide enough for either note and the button that forgets, so that the
    // note is read whole.
    const QFontMetrics metrics = field->fontMetrics();
    int note = metrics.horizontalAdvance(text_of(str::account_password_stored));
    if (none_note) note = std::max(note, metrics.horizontalAdvance(text_of(none_note)));
    field->setMinimumWidth(note + metrics.height() * 3);
    QObject::connect(field, &QLineEdit::textEdited, owner,
                     [field, byte_limit] { keep_within_bytes(field, byte_limit); });
    secret.forget = new QAction(owner->style()->standardIcon(QStyle::SP_LineEditClearButton),
                                text_of(str::account_password_forget), field);
    secret.forget->setToolTip(secret.forget->text());
    field->addAction(secret.forget, QLineEdit::TrailingPosition);
    QObject::connect(secret.forget, &QAction::triggered, owner, [&secret] {
        wipe(secret.stored);
        show_secret_note(secret);
        secret.field->setFocus();
    });
    show_secret_note(secret);
}

std::optional<std::string> secret_to_store(const secret_field& secret) {
    if (secret.field->text().isEmpty()) return secret.stored;  // kept byte for byte
    std::optional<std::string> typed = typed_cp932(secret.field->text(), secret.field);
    if (!typed) return std::nullopt;
    scramble_password(*typed);
    return typed;
}

QLabel* account_field_label(QWidget* parent, int id, QWidget* buddy, const QString& group) {
    auto* label = new QLabel(text_of(id), parent);
    label->setBuddy(buddy);
    const QString name = spoken(label->text());
    buddy->setAccessibleName(group.isEmpty() ? name : spoken(group) + QLatin1Char(' ') + name);
    return label;
}

dialog_account::dialog_account(QWidget* parent, std::string_view mailbox, const std::string* title,
                               reporter& report)
    : QDialog(parent), mailbox_(mailbox), report_(report) {
    account_values values;
    if (title) {
        original_title_ = *title;
        opened_title_ = *title;
        values = load_account_values(mailbox_, *title);
    } else {
        values.pop_port = std::to_string(default_pop_port);
        values.smtp_port = std::to_string(default_smtp_port);
    }
    setWindowTitle(text_of(str::account_dialog_title));

    title_ = text_field(opened_title_);
    name_ = text_field(values.name);
    address_ = text_field(values.address);
    // Pairs of fields share a row, so that the dialog fits a screen 768
    // pixels high.
    auto* top = new QGridLayout;
    top->addWidget(label_for(this, str::account_title_label, title_), 0, 0);
    top->addWidget(title_, 0, 1, 1, 3);
    top->addWidget(label_for(this, str::account_name_label, name_), 1, 0);
    top->addWidget(name_, 1, 1);
    top->addWidget(label_for(this, str::account_address_label, address_), 1, 2);
    top->addWidget(address_, 1, 3);

    // Receiving.
    const QString pop_title = text_of(str::account_pop_group);
    auto* pop = new QGroupBox(pop_title, this);
    pop_server_ = text_field(values.pop_server);
    pop_port_ = port_field(values.pop_port);
    pop_security_ = new QComboBox(this);
    pop_login_ = login_choice(values.pop_oauth2);
    pop_id_ = text_field(values.pop_id);
    make_secret_field(this, pop_password_, std::move(values.pop_password), str::account_password_none,
                      field_byte_limit);
    apop_ = new QCheckBox(text_of(str::account_apop), this);
    pop_remove_ = new QCheckBox(text_of(str::account_pop_remove), this);
    auto* pop_grid = new QGridLayout(pop);
    pop_grid->addWidget(label_for(this, str::account_pop_server_label, pop_server_, pop_title), 0, 0);
    pop_grid->addWidget(pop_server_, 0, 1);
    pop_grid->addWidget(label_for(this, str::account_pop_port_label, pop_port_, pop_title), 0, 2);
    pop_grid->addWidget(pop_port_, 0, 3);
    pop_grid->addWidget(label_for(this, str::account_pop_security_label, pop_security_, pop_title), 1, 0);
    pop_grid->addWidget(pop_security_, 1, 1, Qt::AlignLeft);
    pop_grid->addWidget(label_for(this, str::account_login_label, pop_login_, pop_title), 1, 2);
    pop_grid->addWidget(pop_login_, 1, 3, Qt::AlignLeft);
    pop_grid->addWidget(label_for(this, str::account_pop_id_label, pop_id_, pop_title), 2, 0);
    pop_grid->addWidget(pop_id_, 2, 1);
    pop_grid->addWidget(label_for(this, str::account_pop_password_label, pop_password_.field, pop_title), 2, 2);
    pop_grid->addWidget(pop_password_.field, 2, 3);
    pop_grid->addWidget(apop_, 3, 1);
    pop_grid->addWidget(pop_remove_, 3, 2, 1, 2);

    // Sending.
    const QString smtp_title = text_of(str::account_smtp_group);
    auto* smtp = new QGroupBox(smtp_title, this);
    smtp_server_ = text_field(values.smtp_server);
    smtp_port_ = port_field(values.smtp_port);
    smtp_security_ = new QComboBox(this);
    smtp_auth_ = new QCheckBox(text_of(str::account_smtp_auth), this);
    smtp_login_ = login_choice(values.smtp_oauth2);
    smtp_id_ = text_field(values.smtp_id);
    make_secret_field(this, smtp_password_, std::move(values.smtp_password), str::account_password_none,
                      field_byte_limit);
    auto* smtp_grid = new QGridLayout(smtp);
    smtp_grid->addWidget(label_for(this, str::account_smtp_server_label, smtp_server_, smtp_title), 0, 0);
    smtp_grid->addWidget(smtp_server_, 0, 1);
    smtp_grid->addWidget(label_for(this, str::account_smtp_port_label, smtp_port_, smtp_title), 0, 2);
    smtp_grid->addWidget(smtp_port_, 0, 3);
    smtp_grid->addWidget(label_for(this, str::account_smtp_security_label, smtp_security_, smtp_title), 1, 0);
    // SMTP AUTH beside the security, to spare the dialog a row.
    auto* smtp_security_row = new QHBoxLayout;
    smtp_security_row->addWidget(smtp_security_);
    smtp_security_row->addSpacing(smtp_security_->fontMetrics().averageCharWidth() * 2);
    smtp_security_row->addWidget(smtp_auth_);
    smtp_security_row->addStretch(1);
    smtp_grid->addLayout(smtp_security_row, 1, 1);
    smtp_grid->addWidget(label_for(this, str::account_login_label, smtp_login_, smtp_title), 1, 2);
    smtp_grid->addWidget(smtp_login_, 1, 3, Qt::AlignLeft);
    smtp_grid->addWidget(label_for(this, str::account_smtp_id_label, smtp_id_, smtp_title), 2, 0);
    smtp_grid->addWidget(smtp_id_, 2, 1);
    smtp_grid->addWidget(label_for(this, str::account_smtp_password_label, smtp_password_.field, smtp_title), 2, 2);
    smtp_grid->addWidget(smtp_password_.field, 2, 3);
    for (QGridLayout* grid : {pop_grid, smtp_grid}) grid->setColumnStretch(1, 1);

    oauth2_ = new oauth2_fields(this, values);
    connect(oauth2_->sign_in_button(), &QPushButton::clicked, this, &dialog_account::sign_in_asked);

    verify_ = new QCheckBox(text_of(str::account_verify_certificate), this);
    verify_->setToolTip(text_of(str::account_verify_certificate_tip));
    make_keyring_box(values.keyring_id);
    auto* switches = new QHBoxLayout;
    switches->addWidget(verify_);
    switches->addWidget(keyring_, 1);

    auto_cc_ = text_field(values.auto_cc);
    auto_bcc_ = text_field(values.auto_bcc);
    auto* bottom = new QGridLayout;
    bottom->addWidget(label_for(this, str::account_auto_cc_label, auto_cc_), 0, 0);
    bottom->addWidget(auto_cc_, 0, 1);
    bottom->addWidget(label_for(this, str::account_auto_bcc_label, auto_bcc_), 0, 2);
    bottom->addWidget(auto_bcc_, 0, 3);
    for (QGridLayout* grid : {top, bottom}) {
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
    }

    // Help and delete on the left, away from OK and Cancel (made in the
    // order of the tab key).
    auto* button_row = new QHBoxLayout;
    help_ = new QPushButton(text_of(str::account_help), this);
    help_->setAutoDefault(false);
    connect(help_, &QPushButton::clicked, this, [this] { show_help(this, account_help); });
    button_row->addWidget(help_);
    if (original_title_) {
        delete_ = new QPushButton(text_of(str::account_delete), this);
        delete_->setAutoDefault(false);
        connect(delete_, &QPushButton::clicked, this, &dialog_account::delete_account_asked);
        button_row->addWidget(delete_);
    }
    QDialogButtonBox* buttons = ok_cancel_buttons(this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    button_row->addStretch(1);
    button_row->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(pop);
    layout->addWidget(smtp);
    layout->addWidget(oauth2_);
    layout->addLayout(switches);
    layout->addWidget(keyring_note_);
    layout->addLayout(bottom);
    layout->addLayout(button_row);

    // The values, then what follows them.
    for (QComboBox* choice : {pop_security_, smtp_security_}) {
        choice->addItem(text_of(str::account_security_none));
        choice->addItem(text_of(str::account_security_ssl));
    }
    pop_security_->addItem(text_of(str::account_security_stls));
    smtp_security_->addItem(text_of(str::account_security_starttls));
    pop_former_security_ = security_index(values.pop_over_ssl, values.pop_stls);
    smtp_former_security_ = security_index(values.smtp_over_ssl, values.smtp_starttls);
    pop_security_->setCurrentIndex(pop_former_security_);
    smtp_security_->setCurrentIndex(smtp_former_security_);
    apop_->setChecked(values.apop);
    pop_remove_->setChecked(values.pop_remove);
    smtp_auth_->setChecked(values.smtp_auth);
    verify_->setChecked(values.verify_certificate);
    connect(pop_security_, &QComboBox::currentIndexChanged, this,
            [this] { security_changed(pop_security_, pop_port_, pop_usual_ports, pop_former_security_); });
    connect(smtp_security_, &QComboBox::currentIndexChanged, this,
            [this] { security_changed(smtp_security_, smtp_port_, smtp_usual_ports, smtp_former_security_); });
    connect(smtp_auth_, &QCheckBox::toggled, this, &dialog_account::update_enabling);
    for (QComboBox* choice : {pop_login_, smtp_login_})
        connect(choice, &QComboBox::currentIndexChanged, this, &dialog_account::update_enabling);
    // The fields OK needs.
    for (QLineEdit* field : {title_, address_, pop_server_, pop_port_, pop_id_, smtp_server_, smtp_port_})
        connect(field, &QLineEdit::textChanged, this, &dialog_account::update_enabling);
    update_enabling();
    title_->selectAll();
    title_->setFocus();
}

dialog_account::~dialog_account() = default;

QLineEdit* dialog_account::text_field(std::string_view initial) {
    auto* field = new QLineEdit(this);
    field->setText(qs(initial));
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 20);
    connect(field, &QLineEdit::textEdited, this, [field] { keep_within_bytes(field, field_byte_limit); });
    return field;
}

QLineEdit* dialog_account::port_field(std::string_view initial) {
    auto* field = new QLineEdit(this);
    field->setText(qs(initial));
    field->setMaxLength(port_digits);
    field->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(port_digits)), field));
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0")) * (port_digits + 4));
    return field;
}

QComboBox* dialog_account::login_choice(bool oauth2) {
    auto* choice = new QComboBox(this);
    choice->addItem(text_of(str::account_login_password));
    choice->addItem(text_of(str::account_login_oauth2));
    choice->setCurrentIndex(oauth2 ? login_by_oauth2 : login_by_password);
    return choice;
}

// The box says where the secrets are now: secrets in account.ini stay there
// unless the user moves them (another program may read them there), and an
// account without any goes to the keyring whenever one answers. An account
// whose keyring does not answer now keeps it: its save is refused
// (str::keyring_failed) rather than losing the secrets the keyring holds.
// Checked whenever a keyring runs: saving moves an account's secrets there
// (unless the user unchecks it). An account whose keyring does not answer
// now keeps the box checked, so that OK says so instead of dropping them.
void dialog_account::make_keyring_box(std::string keyring_id) {
    keyring_id_ = std::move(keyring_id);
    const bool running = keyring_available();
    keyring_ = new QCheckBox(text_of(str::account_keyring), this);
    keyring_->setChecked(!keyring_id_.empty() || running);
    keyring_->setEnabled(running);
    keyring_note_ = new QLabel(this);
    keyring_note_->setWordWrap(true);
    connect(keyring_, &QCheckBox::toggled, this, &dialog_account::show_keyring_note);
    show_keyring_note();
}

void dialog_account::show_keyring_note() {
    keyring_note_->setText(text_of(keyring_->isChecked()   ? str::account_secrets_in_keyring
                                   : keyring_->isEnabled() ? str::account_secrets_in_file_chosen
                                                           : str::account_secrets_in_file));
}

// A port left at the usual one of the former choice takes the usual one of
// the new choice; any other port stays as typed.
void dialog_account::security_changed(QComboBox* choice, QLineEdit* port, const int (&usual_ports)[3],
                                      int& former_choice) {
    const int chosen = choice->currentIndex();
    if (chosen < 0 || chosen > security_upgrade) return;
    if (port->text() == QString::number(usual_ports[former_choice]))
        port->setText(QString::number(usual_ports[chosen]));
    former_choice = chosen;
    update_enabling();
}

void dialog_account::update_enabling() {
    bool all_filled = true;
    for (QLineEdit* field : {title_, address_, pop_server_, pop_port_, pop_id_, smtp_server_, smtp_port_})
        all_filled = all_filled && !field->text().isEmpty();
    ok_->setEnabled(all_filled);
    // OAuth 2.0 takes the place of the password; SMTP's login then names
    // the user without SMTP AUTH.
    const bool pop_oauth2 = pop_login_->currentIndex() == login_by_oauth2;
    const bool smtp_oauth2 = smtp_login_->currentIndex() == login_by_oauth2;
    pop_password_.field->setEnabled(!pop_oauth2);
    apop_->setEnabled(!pop_oauth2);
    smtp_auth_->setEnabled(!smtp_oauth2);
    smtp_id_->setEnabled(smtp_auth_->isChecked() || smtp_oauth2);
    smtp_password_.field->setEnabled(smtp_auth_->isChecked() && !smtp_oauth2);
    oauth2_->setEnabled(pop_oauth2 || smtp_oauth2);
    // The certificate matters only to a server reached over SSL/TLS or an upgrade to it.
    verify_->setEnabled(pop_security_->currentIndex() != security_none ||
                        smtp_security_->currentIndex() != security_none);
}

void dialog_account::take_choices(account_values& values) const {
    values.pop_over_ssl = pop_security_->currentIndex() == security_ssl;
    values.apop = apop_->isChecked();
    values.pop_remove = pop_remove_->isChecked();
    values.smtp_over_ssl = smtp_security_->currentIndex() == security_ssl;
    values.pop_stls = pop_security_->currentIndex() == security_upgrade;
    values.smtp_starttls = smtp_security_->currentIndex() == security_upgrade;
    values.smtp_auth = smtp_auth_->isChecked();
    values.verify_certificate = verify_->isChecked();
    values.pop_oauth2 = pop_login_->currentIndex() == login_by_oauth2;
    values.smtp_oauth2 = smtp_login_->currentIndex() == login_by_oauth2;
}

bool dialog_account::oauth2_settings_pass(const account_values& values) {
    const int refusal = check_oauth2_settings(values);
    if (refusal == 0) return true;
    report_.notice(refusal);
    const bool pop_in_clear = values.pop_oauth2 && !values.pop_over_ssl && !values.pop_stls;
    QWidget* security = pop_in_clear ? pop_security_ : smtp_security_;
    QWidget* field = refusal == str::oauth2_needs_tls ? security : oauth2_->refused_field(refusal);
    field->setFocus();
    return false;
}

void dialog_account::sign_in_asked() {
    account_values values;
    take_choices(values);
    if (oauth2_->take(values) && oauth2_settings_pass(values)) oauth2_->sign_in(values, report_);
    wipe_secrets(values);
}

bool dialog_account::take_values(std::string& title, account_values& values) {
    auto refuse = [](QLineEdit* field) {
        field->setFocus();
        field->selectAll();
        return false;
    };
    const std::pair<QLineEdit*, std::string*> texts[] = {
        {title_, &title},
        {name_, &values.name},
        {address_, &values.address},
        {pop_server_, &values.pop_server},
        {pop_port_, &values.pop_port},
        {pop_id_, &values.pop_id},
        {smtp_server_, &values.smtp_server},
        {smtp_port_, &values.smtp_port},
        {smtp_id_, &values.smtp_id},
        {auto_cc_, &values.auto_cc},
        {auto_bcc_, &values.auto_bcc}};
    for (const auto& [field, value] : texts) {
        std::optional<std::string> typed = typed_cp932(field->text(), this);
        if (!typed) return refuse(field);
        *value = std::move(*typed);
    }

    // The account checks, in their order; titles are file names, so any
    // change of the title, if only in case, must not meet another account.
    const bool is_new_title = !original_title_ || title != *original_title_;
    if (const int refusal = check_account(mailbox_, title, values.name, values.address, is_new_title)) {
        report_.notice(refusal);
        return refuse(refusal == str::invalid_display_name ? name_
                      : refusal == str::invalid_address    ? address_
                                                           : title_);
    }
    take_choices(values);
    if (!oauth2_->take(values) || !oauth2_settings_pass(values)) return false;
    for (auto [secret, value] : {std::pair{&pop_password_, &values.pop_password},
                                 std::pair{&smtp_password_, &values.smtp_password}}) {
        std::optional<std::string> stored = secret_to_store(*secret);
        if (!stored) return refuse(secret->field);
        *value = std::move(*stored);
    }
    values.keyring_id = keyring_id_;
    return true;
}

// The secrets to their place, then the file; a keyring the account no
// longer uses is emptied once the file no longer names it, and entries made
// for a save that failed are forgotten.
bool dialog_account::save(const std::string& title, account_values& values) {
    if (!place_account_secrets(values, keyring_->isChecked(), title)) {
        report_.error(str::keyring_failed);
        return false;
    }
    const bool saved = original_title_ ? update_account(mailbox_, *original_title_, title, values)
                                       : create_account(mailbox_, title, values);
    if (!saved && original_title_ && title != *original_title_ && !account_exists(mailbox_, *original_title_) &&
        account_exists(mailbox_, title))
        original_title_ = title;  // renamed, but the keys could not be written
    if (!saved) {
        if (values.keyring_id != keyring_id_) forget_keyring_secrets(values.keyring_id);
        report_.error(str::file_error);
        return false;
    }
    if (values.keyring_id.empty()) forget_keyring_secrets(keyring_id_);
    return true;
}

void dialog_account::accept() {
    if (!ok_->isEnabled()) return;  // Enter while a required field is empty
    std::string title;
    account_values values;
    const bool saved = take_values(title, values) && save(title, values);
    wipe_secrets(values);
    if (!saved) return;
    result_ = {account_dialog_result::outcome::saved, opened_title_, title};
    QDialog::accept();
}

void dialog_account::reject() {
    // A rename that took place before a failed write stays: tell it.
    if (original_title_ && *original_title_ != opened_title_)
        result_ = {account_dialog_result::outcome::saved, opened_title_, *original_title_};
    QDialog::reject();
}

void dialog_account::delete_account_asked() {
    if (!original_title_ || !confirm_account_deletion(report_)) return;
    if (!delete_account(mailbox_, *original_title_) && account_exists(mailbox_, *original_title_)) {
        report_.error(str::file_error);
        return;
    }
    result_ = {account_dialog_result::outcome::deleted, opened_title_, {}};
    done(QDialog::Accepted);
}

account_dialog_result run_account_dialog(QWidget* parent, std::string_view mailbox, const std::string* title,
                                         reporter& report) {
    if (!title) {
        if (const int refusal = check_new_account(mailbox)) {
            report.notice(refusal);
            return {};
        }
    } else if (!account_exists(mailbox, *title)) {
        report.error(str::file_error);
        return {};
    }
    dialog_account dialog(parent, mailbox, title, report);
    dialog.exec();
    return dialog.outcome();
}

}  // namespace qm
