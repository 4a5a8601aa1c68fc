#include "store/round_logins.h"

#include "base/secret_wipe.h"
#include "config/account_secrets.h"
#include "platform/string_table.h"

namespace qm {

namespace {

std::string oauth2_key(std::string_view mailbox, std::string_view title, std::string_view key) {
    return read_account_key(mailbox, title, key, "", oauth2_value_capacity);
}

// Copies without a reallocation that would leave a stray copy behind.
void hand_over(std::string& from, std::string& to) {
    to.reserve(from.size());
    to.assign(from);
    wipe_password(from);
    from.clear();
}

}  // namespace

net_result run_host_job(send_receive_host& host, mail_job& job, std::string_view server) {
    job.start();  // a job that cannot start is finished with a result at once
    bool succeeded = host.run_job(job, server, job.trace);
    net_result code = job.close_handle();
    if (!succeeded && code == net_result::ok) code = net_result::cancelled;
    return code;
}

oauth2_registration load_oauth2_registration(std::string_view mailbox, std::string_view title) {
    oauth2_registration registration;
    registration.authorize_url = oauth2_key(mailbox, title, account_key::oauth2_authorize_url);
    registration.token_url = oauth2_key(mailbox, title, account_key::oauth2_token_url);
    registration.client_id = oauth2_key(mailbox, title, account_key::oauth2_client_id);
    registration.scope = oauth2_key(mailbox, title, account_key::oauth2_scope);
    registration.client_secret = read_account_secret(mailbox, title, secret_kind::client_secret);
    return registration;
}

net_result sign_in(send_receive_host& host, std::string_view mailbox, std::string_view title,
                   const oauth2_registration& registration, std::string& access_token) {
    if (!host.may_sign_in()) return net_result::authorization_needed;
    thread_oauth2_login job;
    job.registration = registration;
    if (!job.prepare()) return net_result::authorization_failed;
    open_in_browser(job.address());
    host.signing_in(job.address());
    net_result code = run_host_job(host, job, registration.authorize_url);
    if (code != net_result::ok) return code;
    if (!job.tokens.refresh_token.empty() &&
        !store_account_secret(mailbox, title, secret_kind::refresh_token, job.tokens.refresh_token))
        return net_result::file_error;
    hand_over(job.tokens.access_token, access_token);
    return net_result::ok;
}

void keep_renewed_token(std::string_view mailbox, std::string_view title, const mail_job& job) {
    if (!job.renewed_refresh_token.empty())
        store_account_secret(mailbox, title, secret_kind::refresh_token, job.renewed_refresh_token);
}

round_logins::round_logins(send_receive_host& host, std::string_view mailbox, std::string_view title,
                           const current_account& account)
    : host_(host), mailbox_(mailbox), title_(title), account_(account) {}

round_logins::~round_logins() {
    for (std::string* secret : {&pop_password_, &smtp_password_, &refresh_token_, &access_token_}) wipe_password(*secret);
}

bool round_logins::uses_oauth2(password_server server) const {
    return server == password_server::pop3 ? account_.pop_oauth2 : account_.smtp_oauth2;
}

net_result round_logins::obtain_password(password_server server, std::string& password) {
    password = read_account_secret(mailbox_, title_,
                                   server == password_server::pop3 ? secret_kind::pop_password
                                                                   : secret_kind::smtp_password);
    if (!password.empty() || host_.ask_password(title_, server, password)) return net_result::ok;
    wipe_password(password);
    return net_result::cancelled;
}

// The registration and refresh token; a sign-in first when none is stored.
net_result round_logins::obtain_token() {
    if (!registration_.token_url.empty()) return net_result::ok;
    registration_ = load_oauth2_registration(mailbox_, title_);
    refresh_token_ = read_account_secret(mailbox_, title_, secret_kind::refresh_token);
    if (!refresh_token_.empty()) return net_result::ok;
    signed_in_ = true;
    net_result code = sign_in(host_, mailbox_, title_, registration_, access_token_);
    if (code == net_result::authorization_needed)
        host_.report().show(message_kind::error, load_string(result_message_id(code)));
    return code;
}

net_result round_logins::obtain(bool pop, bool smtp) {
    // Both before any connection: a cancel costs nothing.
    for (auto [wanted, server] : {std::pair{pop, password_server::pop3}, std::pair{smtp, password_server::smtp}}) {
        if (!wanted) continue;
        std::string& password = server == password_server::pop3 ? pop_password_ : smtp_password_;
        net_result code = uses_oauth2(server) ? obtain_token() : obtain_password(server, password);
        if (code != net_result::ok) return code;
    }
    return net_result::ok;
}

void round_logins::hand_to(mail_job& job, password_server server, std::string& job_password) {
    if (!uses_oauth2(server)) {
        hand_over(server == password_server::pop3 ? pop_password_ : smtp_password_, job_password);
        return;
    }
    job.oauth2 = true;
    job.registration = registration_;
    job.refresh_token = refresh_token_;
    // An access token of this round serves the next job too; without one
    // the job fetches it itself, off the window's thread.
    job_password = access_token_;
}

bool round_logins::retry_after(mail_job& job, net_result code) {
    if (!job.oauth2) return false;
    keep_renewed_token(mailbox_, title_, job);
    if (!job.renewed_refresh_token.empty()) refresh_token_ = job.renewed_refresh_token;
    if (code == net_result::ok) access_token_ = job.access_token;
    if (code != net_result::authorization_needed || signed_in_) return false;
    signed_in_ = true;
    return sign_in(host_, mailbox_, title_, registration_, access_token_) == net_result::ok;
}

}  // namespace qm
