#include "ui/oauth2_fields.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/secret_wipe.h"
#include "config/oauth2_presets.h"
#include "net/oauth2_browser_step.h"
#include "platform/string_table.h"
#include "ui/dialog_job.h"
#include "ui/dialog_name.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

QString text_of(int id) { return qs(load_string(id)); }

// The preset whose addresses the account has, as the combo lists it (0:
// none, typed by hand).
int preset_index(const account_values& values) {
    const auto presets = oauth2_presets();
    for (std::size_t i = 0; i < presets.size(); ++i) {
        if (values.oauth2_authorize_url == presets[i].authorize_url && values.oauth2_token_url == presets[i].token_url)
            return static_cast<int>(i) + 1;
    }
    return 0;
}

}  // namespace

oauth2_fields::oauth2_fields(QWidget* parent, account_values& values)
    : QGroupBox(text_of(str::account_oauth2_group), parent) {
    const QString group = title();
    preset_ = new QComboBox(this);
    preset_->addItem(text_of(str::account_oauth2_preset_custom));
    for (const oauth2_preset& preset : oauth2_presets()) preset_->addItem(qs(preset.label));
    preset_->setCurrentIndex(preset_index(values));
    authorize_url_ = text_field(values.oauth2_authorize_url);
    token_url_ = text_field(values.oauth2_token_url);
    client_id_ = text_field(values.oauth2_client_id);
    make_secret_field(this, client_secret_, std::move(values.oauth2_client_secret), 0, field_byte_limit);
    scope_ = text_field(values.oauth2_scope);
    sign_in_ = new QPushButton(text_of(str::account_oauth2_sign_in), this);
    sign_in_->setAutoDefault(false);
    status_ = new QLabel(this);
    refresh_token_ = std::move(values.oauth2_refresh_token);

    // The button beside the provider, to spare the dialog a row; it still
    // comes last in the order of the tab key.
    auto* grid = new QGridLayout(this);
    grid->addWidget(account_field_label(this, str::account_oauth2_preset_label, preset_, group), 0, 0);
    grid->addWidget(preset_, 0, 1, Qt::AlignLeft);
    auto* sign_in_row = new QHBoxLayout;
    sign_in_row->addWidget(sign_in_);
    sign_in_row->addWidget(status_, 1);
    grid->addLayout(sign_in_row, 0, 2, 1, 2);
    grid->addWidget(account_field_label(this, str::account_oauth2_authorize_label, authorize_url_, group), 1, 0);
    grid->addWidget(authorize_url_, 1, 1, 1, 3);
    grid->addWidget(account_field_label(this, str::account_oauth2_token_label, token_url_, group), 2, 0);
    grid->addWidget(token_url_, 2, 1, 1, 3);
    grid->addWidget(account_field_label(this, str::account_oauth2_client_id_label, client_id_, group), 3, 0);
    grid->addWidget(client_id_, 3, 1);
    grid->addWidget(account_field_label(this, str::account_oauth2_client_secret_label, client_secret_.field, group),
                    3, 2);
    grid->addWidget(client_secret_.field, 3, 3);
    grid->addWidget(account_field_label(this, str::account_oauth2_scope_label, scope_, group), 4, 0);
    grid->addWidget(scope_, 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(preset_, &QComboBox::currentIndexChanged, this, &oauth2_fields::preset_chosen);
    show_status();
}

oauth2_fields::~oauth2_fields() { wipe_password(refresh_token_); }

QLineEdit* oauth2_fields::text_field(std::string_view initial) {
    auto* field = new QLineEdit(this);
    field->setText(qs(initial));
    connect(field, &QLineEdit::textEdited, this, [field] { keep_within_bytes(field, field_byte_limit); });
    return field;
}

void oauth2_fields::preset_chosen(int index) {
    const auto presets = oauth2_presets();
    if (index < 1 || static_cast<std::size_t>(index) > presets.size()) return;
    const oauth2_preset& preset = presets[static_cast<std::size_t>(index) - 1];
    authorize_url_->setText(qs(preset.authorize_url));
    token_url_->setText(qs(preset.token_url));
    scope_->setText(qs(preset.scope));
}

void oauth2_fields::show_status() {
    status_->setText(text_of(refresh_token_.empty() ? str::account_oauth2_not_signed_in
                                                    : str::account_oauth2_signed_in));
}

bool oauth2_fields::take(account_values& values) {
    const std::pair<QLineEdit*, std::string*> texts[] = {{authorize_url_, &values.oauth2_authorize_url},
                                                          {token_url_, &values.oauth2_token_url},
                                                          {client_id_, &values.oauth2_client_id},
                                                          {scope_, &values.oauth2_scope}};
    for (const auto& [field, value] : texts) {
        std::optional<std::string> typed = typed_cp932(field->text(), this);
        if (!typed) {
            field->setFocus();
            return false;
        }
        *value = std::move(*typed);
    }
    std::optional<std::string> secret = secret_to_store(client_secret_);
    if (!secret) {
        client_secret_.field->setFocus();
        return false;
    }
    values.oauth2_client_secret = std::move(*secret);
    values.oauth2_refresh_token = refresh_token_;
    return true;
}

QLineEdit* oauth2_fields::refused_field(int refusal) const {
    const bool need_https = refusal == str::oauth2_needs_https;
    for (QLineEdit* field : {authorize_url_, token_url_}) {
        const QString text = field->text();
        if (need_https ? !text.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive) : text.isEmpty())
            return field;
    }
    return client_id_;
}

void oauth2_fields::sign_in(const account_values& values, reporter& report) {
    thread_oauth2_login job;
    job.registration.authorize_url = values.oauth2_authorize_url;
    job.registration.token_url = values.oauth2_token_url;
    job.registration.client_id = values.oauth2_client_id;
    job.registration.scope = values.oauth2_scope;
    job.registration.client_secret = values.oauth2_client_secret;  // wiped with the registration
    unscramble_password(job.registration.client_secret);
    if (!job.prepare()) {
        report.error(str::system_error);
        return;
    }
    open_in_browser(job.address());
    job.start();
    // The job dialog of the rounds: hidden at first, it shows itself (with
    // 中止) while the browser keeps the user, and tells a failure.
    dialog_job dialog(window(), job, values.oauth2_authorize_url, {false, window()->isVisible(), {}});
    const net_result code = dialog.run();
    // The keyboard comes back to the account dialog: the window manager
    // leaves it nowhere once the job dialog has gone.
    window()->activateWindow();
    if (code != net_result::ok) return;
    if (!job.tokens.refresh_token.empty()) {
        wipe_password(refresh_token_);
        refresh_token_.reserve(job.tokens.refresh_token.size());  // no reallocation leaves a copy behind
        refresh_token_.assign(job.tokens.refresh_token);
        scramble_password(refresh_token_);
    }
    show_status();
    report.notice(str::account_oauth2_sign_in_done);
}

}  // namespace qm
