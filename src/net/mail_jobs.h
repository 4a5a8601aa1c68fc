#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "base/secret_wipe.h"
#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/job.h"
#include "net/oauth2_tokens.h"

namespace qm {

// The three jobs a mail round runs on a worker thread: receiving (POP3),
// sending (SMTP) and the silent new-mail check. The owner fills the fields,
// calls start() and polls the state (net/job.h); the fields must not change
// while the job runs. Each run() makes its own connection, talks, closes it
// and finishes with the first non-zero result code, or 0.
//
// Passwords: the owner copies the password into the job and overwrites its
// own copy; the job overwrites its copy with '*' as soon as the login has sent
// it (and at the latest when the job is destroyed). No trace text shows it.

// What every mail job has besides its dialogue.
class mail_job : public thread {
public:
    ~mail_job() override;

    bool trace = false;               // hand every command and reply to the owner
    bool verify_certificate = true;   // check the server's TLS certificate

    // OAuth 2.0 instead of a password: the job's password is an access
    // token, and when it is empty the job first fetches one with the refresh
    // token. A token goes over TLS only: without it the job ends with
    // authorization_failed before it connects.
    bool oauth2 = false;
    oauth2_registration registration;
    std::string refresh_token;
    // After an OAuth 2.0 job: the access token it used (the round's next
    // job takes it), and the refresh token the endpoint handed out in place
    // of the old one (empty when it kept the old one).
    std::string access_token, renewed_refresh_token;

    // Why the connection could not be made (the TLS certificate check that
    // failed ...), for the message shown with code 5; empty when unknown or
    // when the connection was made. Read it after close_handle().
    const std::string& error_detail() const { return error_detail_; }

protected:
    // Worker side, before connecting: an access token in `password` when
    // the job logs in with OAuth 2.0 and has none yet.
    net_result obtain_access_token(std::string& password, bool secured);

    std::string error_detail_;
};

// What a POP3 job knows of the account and its server.
class pop_job : public mail_job {
public:
    std::string pop_server;
    int port = 110;
    std::string user_id;
    std::string password;
    std::string uid_list_path;
    bool remove = false;
    bool apop = false;
    bool ssl = false;       // TLS from the first byte
    bool starttls = false;  // a plain connection upgraded with STLS (when ssl is off)

protected:
    // The greeting and the login (password or OAuth 2.0) on the connected
    // link; what a CAPA on the way offered goes to `offered`.
    net_result log_in(connection& link, pop_capabilities* offered = nullptr);
};

// Receives new mail into download files "<n>.pop" of the download prefix
// (the work directory) and keeps the account's UID list.
class thread_pop : public pop_job {
public:
    ~thread_pop() override;
    std::string download_prefix;
    std::uint64_t size_limit = default_download_limit;  // see pop_receive
    // Called on the worker each time a download has taken its name.
    std::function<void()> downloaded;

protected:
    void run() override;

private:
    net_result talk();
};

// Sends every outgoing file of the queue directory (the work directory).
class thread_smtp : public mail_job {
public:
    ~thread_smtp() override;

    std::string queue_directory;
    std::string smtp_server;
    int port = 25;
    std::string greeting_name;  // empty: the machine's domain name or the address literal
    std::optional<std::string> user_id;  // none: HELO, no login
    std::string password;
    bool ssl = false;       // TLS from the first byte
    bool starttls = false;  // a plain connection upgraded with STARTTLS (when ssl is off)

protected:
    void run() override;

private:
    net_result talk();
};

// Asks the server whether it holds a message the UID list does not know;
// downloads, deletes and writes nothing. Never traces.
class thread_pop_check : public pop_job {
public:
    ~thread_pop_check() override;
    // The answer, valid once the job has finished with ok.
    bool new_mail() const { return new_mail_.load(); }

protected:
    void run() override;

private:
    net_result talk();
    std::atomic<bool> new_mail_{false};
};

// The message shown for a finished job's result (CP932): the code's text,
// and for a connection that could not be made or upgraded to TLS the reason
// on a second line.
// Empty for 0.
std::string job_result_message(const thread& job);

}  // namespace qm
