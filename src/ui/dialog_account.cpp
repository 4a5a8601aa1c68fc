#include "ui/dialog_account.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
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
#include "platform/string_table.h"
#include "store/accounts.h"
#include "store/entry_limits.h"
#include "ui/dialog_name.h"
#include "ui/help_window.h"
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
    auto* label = new QLabel(text_of(id), parent);
    label->setBuddy(buddy);
    const QString name = spoken(label->text());
    buddy->setAccessibleName(group.isEmpty() ? name : spoken(group) + QLatin1Char(' ') + name);
    return label;
}

void wipe(std::string& secret) {
    wipe_password(secret);
    secret.clear();
}

}  // namespace

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
    auto* top = new QFormLayout;
    top->addRow(label_for(this, str::account_title_label, title_), title_);
    top->addRow(label_for(this, str::account_name_label, name_), name_);
    top->addRow(label_for(this, str::account_address_label, address_), address_);

    // Receiving.
    const QString pop_title = text_of(str::account_pop_group);
    auto* pop = new QGroupBox(pop_title, this);
    pop_server_ = text_field(values.pop_server);
    pop_port_ = port_field(values.pop_port);
    pop_security_ = new QComboBox(this);
    pop_id_ = text_field(values.pop_id);
    make_password_field(pop_password_, std::move(values.pop_password));
    apop_ = new QCheckBox(text_of(str::account_apop), this);
    pop_remove_ = new QCheckBox(text_of(str::account_pop_remove), this);
    auto* pop_grid = new QGridLayout(pop);
    pop_grid->addWidget(label_for(this, str::account_pop_server_label, pop_server_, pop_title), 0, 0);
    pop_grid->addWidget(pop_server_, 0, 1);
    pop_grid->addWidget(label_for(this, str::account_pop_port_label, pop_port_, pop_title), 0, 2);
    pop_grid->addWidget(pop_port_, 0, 3);
    pop_grid->addWidget(label_for(this, str::account_pop_security_label, pop_security_, pop_title), 1, 0);
    pop_grid->addWidget(pop_security_, 1, 1, Qt::AlignLeft);
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
    smtp_id_ = text_field(values.smtp_id);
    make_password_field(smtp_password_, std::move(values.smtp_password));
    auto* smtp_grid = new QGridLayout(smtp);
    smtp_grid->addWidget(label_for(this, str::account_smtp_server_label, smtp_server_, smtp_title), 0, 0);
    smtp_grid->addWidget(smtp_server_, 0, 1);
    smtp_grid->addWidget(label_for(this, str::account_smtp_port_label, smtp_port_, smtp_title), 0, 2);
    smtp_grid->addWidget(smtp_port_, 0, 3);
    smtp_grid->addWidget(label_for(this, str::account_smtp_security_label, smtp_security_, smtp_title), 1, 0);
    smtp_grid->addWidget(smtp_security_, 1, 1, Qt::AlignLeft);
    smtp_grid->addWidget(smtp_auth_, 2, 1);
    smtp_grid->addWidget(label_for(this, str::account_smtp_id_label, smtp_id_, smtp_title), 3, 0);
    smtp_grid->addWidget(smtp_id_, 3, 1);
    smtp_grid->addWidget(label_for(this, str::account_smtp_password_label, smtp_password_.field, smtp_title), 3, 2);
    smtp_grid->addWidget(smtp_password_.field, 3, 3);
    for (QGridLayout* grid : {pop_grid, smtp_grid}) grid->setColumnStretch(1, 1);

    verify_ = new QCheckBox(text_of(str::account_verify_certificate), this);
    verify_->setToolTip(text_of(str::account_verify_certificate_tip));

    auto_cc_ = text_field(values.auto_cc);
    auto_bcc_ = text_field(values.auto_bcc);
    auto* bottom = new QFormLayout;
    bottom->addRow(label_for(this, str::account_auto_cc_label, auto_cc_), auto_cc_);
    bottom->addRow(label_for(this, str::account_auto_bcc_label, auto_bcc_), auto_bcc_);

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
    layout->addWidget(verify_);
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
    // The fields OK needs.
    for (QLineEdit* field : {title_, address_, pop_server_, pop_port_, pop_id_, smtp_server_, smtp_port_})
        connect(field, &QLineEdit::textChanged, this, &dialog_account::update_enabling);
    update_enabling();
    title_->selectAll();
    title_->setFocus();
}

dialog_account::~dialog_account() {
    wipe(pop_password_.stored);
    wipe(smtp_password_.stored);
}

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

void dialog_account::make_password_field(password_field& password, std::string stored) {
    password.stored = std::move(stored);
    password.field = new QLineEdit(this);
    password.field->setEchoMode(QLineEdit::Password);
    // Wide enough for either note and the button that forgets, so that the
    // note is read whole.
    const QFontMetrics metrics = password.field->fontMetrics();
    const int note = std::max(metrics.horizontalAdvance(text_of(str::account_password_stored)),
                              metrics.horizontalAdvance(text_of(str::account_password_none)));
    password.field->setMinimumWidth(note + metrics.height() * 3);
    QLineEdit* field = password.field;
    connect(field, &QLineEdit::textEdited, this, [field] { keep_within_bytes(field, field_byte_limit); });
    password.forget = new QAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                                  text_of(str::account_password_forget), field);
    password.forget->setToolTip(password.forget->text());
    field->addAction(password.forget, QLineEdit::TrailingPosition);
    connect(password.forget, &QAction::triggered, this, [this, &password] {
        wipe(password.stored);
        show_password_note(password);
        password.field->setFocus();
    });
    show_password_note(password);
}

// A stored password is never shown: the empty field says whether there is
// one.
void dialog_account::show_password_note(password_field& password) {
    const bool stored = !password.stored.empty();
    password.field->setPlaceholderText(text_of(stored ? str::account_password_stored : str::account_password_none));
    password.forget->setVisible(stored);
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
    smtp_id_->setEnabled(smtp_auth_->isChecked());
    smtp_password_.field->setEnabled(smtp_auth_->isChecked());
    // The certificate matters only to a server reached over SSL/TLS or an upgrade to it.
    verify_->setEnabled(pop_security_->currentIndex() != security_none ||
                        smtp_security_->currentIndex() != security_none);
}

std::optional<std::string> dialog_account::password_to_store(password_field& password) {
    if (password.field->text().isEmpty()) return password.stored;  // kept byte for byte
    std::optional<std::string> typed = typed_cp932(password.field->text(), this);
    if (!typed) return std::nullopt;
    scramble_password(*typed);
    return typed;
}

void dialog_account::accept() {
    if (!ok_->isEnabled()) return;  // Enter while a required field is empty
    auto refuse = [](QLineEdit* field) {
        field->setFocus();
        field->selectAll();
    };
    std::string title;
    account_values values;
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
        if (!typed) {
            refuse(field);
            return;
        }
        *value = std::move(*typed);
    }

    // The account checks, in their order; titles are file names, so any
    // change of the title, if only in case, must not meet another account.
    const bool is_new_title = !original_title_ || title != *original_title_;
    if (const int refusal = check_account(mailbox_, title, values.name, values.address, is_new_title)) {
        report_.notice(refusal);
        refuse(refusal == str::invalid_display_name ? name_ : refusal == str::invalid_address ? address_ : title_);
        return;
    }

    std::optional<std::string> pop_password = password_to_store(pop_password_);
    if (!pop_password) {
        refuse(pop_password_.field);
        return;
    }
    std::optional<std::string> smtp_password = password_to_store(smtp_password_);
    if (!smtp_password) {
        wipe(*pop_password);
        refuse(smtp_password_.field);
        return;
    }
    values.pop_password = std::move(*pop_password);
    values.smtp_password = std::move(*smtp_password);
    values.pop_over_ssl = pop_security_->currentIndex() == security_ssl;
    values.apop = apop_->isChecked();
    values.pop_remove = pop_remove_->isChecked();
    values.smtp_over_ssl = smtp_security_->currentIndex() == security_ssl;
    values.pop_stls = pop_security_->currentIndex() == security_upgrade;
    values.smtp_starttls = smtp_security_->currentIndex() == security_upgrade;
    values.smtp_auth = smtp_auth_->isChecked();
    values.verify_certificate = verify_->isChecked();

    const bool saved = original_title_ ? update_account(mailbox_, *original_title_, title, values)
                                       : create_account(mailbox_, title, values);
    if (!saved && original_title_ && title != *original_title_ && !account_exists(mailbox_, *original_title_) &&
        account_exists(mailbox_, title))
        original_title_ = title;  // renamed, but the keys could not be written
    wipe(values.pop_password);
    wipe(values.smtp_password);
    if (!saved) {
        report_.error(str::file_error);
        return;
    }
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
