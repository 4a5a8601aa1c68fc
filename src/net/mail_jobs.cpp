#include "net/mail_jobs.h"

#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "platform/string_table.h"

namespace qm {

namespace {

// Connects as the job is configured; on a failure the connection's reason
// is kept for the message.
net_result connect(connection& link, thread& job, const std::string& server, int port, bool ssl, bool verify,
            std::string& detail) {
    if (!link.is_open()) return net_result::connect_failed;
    link.set_verify_certificate(verify);
    net_result code = link.connect_server(job, server, port, false, ssl);
    if (code != net_result::ok) detail = link.error_detail();
    return code;
}

// The server name a STARTTLS or STLS upgrade checks the certificate
// against; empty: no upgrade.
std::string_view upgrade_host(const std::string& server, bool ssl, bool starttls) {
    return starttls && !ssl ? std::string_view(server) : std::string_view();
}

bool has_detail(net_result code) {
    return code == net_result::connect_failed || code == net_result::tls_not_offered ||
           code == net_result::tls_refused || code == net_result::tls_injected ||
           code == net_result::authorization_needed || code == net_result::authorization_failed ||
           code == net_result::token_refused || code == net_result::message_too_large ||
           code == net_result::file_error;
}

// A login that ended in the upgrade keeps the connection's reason.
void keep_detail(net_result code, const connection& link, std::string& detail) {
    if (has_detail(code)) detail = link.error_detail();
}

}  // namespace

mail_job::~mail_job() {
    wipe_password(refresh_token);
    wipe_password(access_token);
    wipe_password(renewed_refresh_token);
}

net_result mail_job::obtain_access_token(std::string& password, bool secured) {
    if (!oauth2) return net_result::ok;
    if (!secured) {
        error_detail_ = "OAuth 2.0 is used over TLS only";
        return net_result::authorization_failed;
    }
    if (password.empty()) {
        oauth2_tokens tokens;
        net_result code = refresh_access_token(*this, registration, refresh_token, tokens, error_detail_);
        if (code != net_result::ok) return code;
        password.swap(tokens.access_token);
        renewed_refresh_token.swap(tokens.refresh_token);
    }
    access_token = password;
    return net_result::ok;
}

// ---- receive ---------------------------------------------------------------

thread_pop::~thread_pop() {
    // run() uses this object's fields: the worker must be gone before they are.
    request_cancel();
    close_handle();
    wipe_password(password);
}

net_result pop_job::log_in(connection& link, pop_capabilities* offered) {
    const std::string_view stls_host = upgrade_host(pop_server, ssl, starttls);
    return oauth2 ? pop_login_bearer(link, *this, user_id, password, pop_server, port, stls_host, offered)
                  : pop_login(link, *this, user_id, password, apop, stls_host, offered);
}

net_result thread_pop::talk() {
    net_result code = obtain_access_token(password, ssl || starttls);
    if (code != net_result::ok) return code;
    connection link(trace);
    code = connect(link, *this, pop_server, port, ssl, verify_certificate, error_detail_);
    if (code != net_result::ok) return code;
    pop_capabilities offered;
    code = log_in(link, &offered);
    wipe_password(password);
    keep_detail(code, link, error_detail_);
    if (code == net_result::ok) code = pop_ask_capabilities(link, *this, offered);
    if (code == net_result::ok) {
        code = pop_receive(link, *this, download_prefix, uid_list_path,
                           {remove, offered.pipelining, size_limit, downloaded});
        keep_detail(code, link, error_detail_);
    }
    if (code == net_result::message_too_large) {
        // No QUIT: the server deletes nothing of this session.
        constexpr std::uint64_t megabyte = 1024 * 1024;
        error_detail_ = "over " + (size_limit % megabyte == 0 ? std::to_string(size_limit / megabyte) + " MB"
                                                              : std::to_string(size_limit) + " bytes");
        link.close_gently(false);
        return code;
    }
    pop_quit(link, *this);
    link.close_gently(!cancel_requested());
    return code;
}

void thread_pop::run() {
    net_result code = talk();  // the connection is gone before the job says it is finished
    wipe_password(password);
    finish(code);
}

// ---- send ------------------------------------------------------------------

thread_smtp::~thread_smtp() {
    request_cancel();
    close_handle();
    wipe_password(password);
}

net_result thread_smtp::talk() {
    net_result code = obtain_access_token(password, ssl || starttls);
    if (code != net_result::ok) return code;
    connection link(trace);
    code = connect(link, *this, smtp_server, port, ssl, verify_certificate, error_detail_);
    if (code != net_result::ok) return code;
    const std::string_view starttls_host = upgrade_host(smtp_server, ssl, starttls);
    code = oauth2 && user_id ? smtp_start_bearer(link, *this, greeting_name, *user_id, password, smtp_server, port,
                                                 starttls_host)
                             : smtp_start(link, *this, greeting_name, user_id ? &*user_id : nullptr, password,
                                          starttls_host);
    wipe_password(password);
    keep_detail(code, link, error_detail_);
    if (code == net_result::ok) code = smtp_send_queue(link, *this, queue_directory);
    smtp_quit(link, *this);
    link.close_gently(!cancel_requested());
    return code;
}

void thread_smtp::run() {
    net_result code = talk();
    wipe_password(password);
    finish(code);
}

// ---- check -----------------------------------------------------------------

thread_pop_check::~thread_pop_check() {
    request_cancel();
    close_handle();
    wipe_password(password);
}

net_result thread_pop_check::talk() {
    net_result code = obtain_access_token(password, ssl || starttls);
    if (code != net_result::ok) return code;
    connection link(false);
    code = connect(link, *this, pop_server, port, ssl, verify_certificate, error_detail_);
    if (code != net_result::ok) return code;
    code = log_in(link);
    wipe_password(password);
    keep_detail(code, link, error_detail_);
    bool found = false;
    if (code == net_result::ok) code = pop_check(link, *this, uid_list_path, remove, found);
    new_mail_ = code == net_result::ok && found;
    pop_quit(link, *this);
    link.close_gently(!cancel_requested());
    return code;
}

void thread_pop_check::run() {
    net_result code = talk();
    wipe_password(password);
    finish(code);
}

// ---- messages --------------------------------------------------------------

std::string job_result_message(const thread& job) {
    net_result code = job.result();
    if (code == net_result::ok) return {};
    std::string text = load_string(result_message_id(code));
    if (has_detail(code)) {
        if (auto* mail = dynamic_cast<const mail_job*>(&job); mail && !mail->error_detail().empty())
            text += "\n(" + mail->error_detail() + ")";
    }
    return text;
}

}  // namespace qm
