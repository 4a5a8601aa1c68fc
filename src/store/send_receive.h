#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "platform/reporter.h"

namespace qm {

// One send/receive round for an account: passwords, receive, send, filing,
// arranging and the messages about it. The round runs on the calling (main)
// thread; each server dialogue runs as a job on a worker thread that the
// round's owner watches.

enum class password_server { pop3, smtp };

// What a round needs from its owner: the window, or the command line.
class send_receive_host {
public:
    virtual ~send_receive_host() = default;
    // Asks for the password of the account's POP3 or SMTP server (prompt
    // "POP3パスワード?"); false when the user cancelled.
    virtual bool ask_password(std::string_view account_title, password_server server, std::string& password) = 0;
    // Runs a started job to its end, showing its trace when `trace` is set and
    // taking cancel requests; true when the job finished with ok, else false
    // after showing the result's message (job_result_message).
    virtual bool run_job(thread& job, std::string_view server, bool trace) = 0;
    virtual reporter& report() = 0;
    // The round filed new mail into the inbox (the window switches to it
    // unless quiet).
    virtual void show_inbox(std::string_view inbox) { (void)inbox; }
    // Whether the jobs about to start should hand over their protocol trace
    // (the window: Shift held at the start; the command line: --trace).
    virtual bool trace_wanted() { return false; }
    // The round of all accounts is about to visit this account (the window
    // makes it the current account).
    virtual void visiting_account(std::string_view title) { (void)title; }
    // Whether the user ended the round of all accounts (the command line:
    // Ctrl-C); asked before each account.
    virtual bool round_cancelled() { return false; }
    // OAuth 2.0: whether the browser step may run now (the window: yes; a
    // `sync` in the shell cannot wait for a browser and says to run
    // `account login` instead).
    virtual bool may_sign_in() { return false; }
    // The browser was sent to this address (the shell prints it as well,
    // for a browser on another machine).
    virtual void signing_in(std::string_view address) { (void)address; }
};

// Starts the job and lets the host run it; the job's result (cancelled when
// the host gave up on a job that still ended well).
net_result run_host_job(send_receive_host& host, mail_job& job, std::string_view server);

struct round_result {
    // The first job that did not end with ok: cancelled also for a cancelled
    // password prompt, file_error for a failed preparation of the outbox.
    net_result job = net_result::ok;
    bool filing_problem = false;      // a received message could not be filed
    std::size_t sent = 0;             // mails the server accepted and the sent folder took
    bool account_incomplete = false;  // address, servers or POP id missing
    bool ok() const { return job == net_result::ok && !filing_problem && !account_incomplete; }
};

// One round for the account, as the send/receive command runs it:
//  1. the account must be complete ("アカウント設定が完了していません."
//     otherwise);
//  2. missing passwords are asked for (the SMTP one only with SMTP AUTH);
//     a cancel stops the round before any connection; a server that logs
//     in with OAuth 2.0 and has no refresh token yet needs the browser
//     step (store/round_logins.h), which a host that cannot run it turns
//     into authorization_needed;
//  3. download files an earlier round could not file are filed (and
//     arranged) first, into the account they were received for; when those
//     of another account still cannot be filed, the round stops there;
//  4. the receive job, while each download that came whole is filed into
//     the inbox on a thread of its own (in the order they came); when the
//     job fails (or is cancelled), the round stops there once what came
//     whole is filed and arranged (what cannot be filed waits in the work
//     directory for the next round);
//  5. with mail in the outbox: preparation, and when a message was
//     prepared, the send job and filing of whatever the server accepted
//     (also after a failed send job, so that nothing is sent twice), then
//     "arrange at send"; a message that could not be prepared stays queued
//     and the round ends with file_error;
//  6. the end of filing, "arrange at receive" (once), and the messages: the
//     inbox is shown when mail came, "新着メールはありません." when none came,
//     followed by "2通のメールを送信しました." when mail was sent (neither
//     when quiet), "受信メールの取込処理に問題がありました." when filing
//     failed (also when quiet).
// Every copy of a password is overwritten with '*' once it has been handed
// to a job or given up. A job that ends because the refresh token was
// refused leads to the browser step once, and then runs again.
round_result send_receive(send_receive_host& host, std::string_view mailbox, std::string_view account_title,
                          bool quiet);

// The send round of the 送信 command: the outbox of the account is sent as
// step 5 of a round sends it, without receiving (only the SMTP password is
// asked for), then "2通のメールを送信しました."; "送信するメールはありません."
// when the outbox holds none.
round_result send_queued(send_receive_host& host, std::string_view mailbox, std::string_view account_title);

// The round of all accounts (command "巡回送受信"): each account of the
// mailbox in turn, quietly, then "巡回送受信が終了しました.". The first
// failure is returned; the round goes on after it.
round_result send_receive_all(send_receive_host& host, std::string_view mailbox);

// The periodic check of one account, without blocking the caller: a started
// job whose new_mail() the caller reads once it has finished, or nothing
// when the account is not checked. Only an account with a POP server, a POP
// id and a stored password (or, with OAuth 2.0, a stored refresh token) is
// asked (the check never prompts, nor opens a browser); every failure counts
// as "no new mail" and shows nothing. The caller hands the finished job to
// keep_renewed_token (store/round_logins.h).
std::unique_ptr<thread_pop_check> start_new_mail_check(std::string_view mailbox, std::string_view title);

}  // namespace qm
