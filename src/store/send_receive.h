#pragma once

#include <string>
#include <string_view>

#include "net/job.h"
#include "platform/reporter.h"

namespace qm {

// One send/receive round for an account: passwords, receive, send, filing,
// arranging and the messages about it. The round runs on the calling (main)
// thread; each server dialogue runs as a job on a worker thread that the
// round's owner watches.

// What a round needs from its owner: the window, or the command line.
class send_receive_host {
public:
    virtual ~send_receive_host() = default;
    // Asks for a password (prompt "POP3パスワード?"); false when the user cancelled.
    virtual bool ask_password(std::string& password) = 0;
    // Runs a started job to its end, showing its trace when `trace` is set and
    // taking cancel requests; returns 1 when the job finished with 0, else 3
    // (after showing the code's message, job_result_message).
    virtual int run_job(thread& job, std::string_view server, bool trace) = 0;
    virtual reporter& report() = 0;
    // The round filed new mail into the inbox (the window switches to it
    // unless quiet).
    virtual void show_inbox(std::string_view inbox) { (void)inbox; }
    // Whether the jobs about to start should hand over their protocol trace
    // (the window: Shift held at the start; the command line: --trace).
    virtual bool trace_wanted() { return false; }
};

// What send_receive returns besides 0 (success) and a job's result code.
inline constexpr int round_filing_problem = -1;      // a received message could not be filed
inline constexpr int round_account_incomplete = -2;  // address, servers or POP id missing

// The work directory remembers which account its download files belong to,
// so that files left by a round whose filing failed go to the right inbox.
inline constexpr std::string_view download_owner_name = "download.owner";

// One round for the account, as the send/receive command runs it:
//  1. the account must have an address, both servers and a POP id
//     ("アカウント設定が完了していません." otherwise);
//  2. missing passwords are asked for (the SMTP one only with SMTP AUTH);
//     a cancel stops the round before any connection;
//  3. download files an earlier round could not file are filed (and
//     arranged) first, into the account they were received for; when those
//     of another account still cannot be filed, the round stops there;
//  4. the receive job; when it fails, the round stops (its complete
//     downloads wait in the work directory for the next round);
//  5. with mail in the outbox: preparation, the send job, and filing of
//     whatever the server accepted (also after a failed send job, so that
//     nothing is sent twice), then "arrange at send";
//  6. filing of the downloads, "arrange at receive", and the messages: the
//     inbox is shown when mail came, "新着メールはありません." when none came
//     (not when quiet), "受信メールの取込処理に問題がありました." when filing
//     failed (also when quiet).
// Every copy of a password is overwritten with '*' once it has been handed
// to a job or given up. Returns 0 on success, else the first failure: a job's
// result code (11 for a cancelled prompt, 10 for a failed preparation),
// round_filing_problem or round_account_incomplete.
int send_receive(send_receive_host& host, std::string_view mailbox, std::string_view account_title, bool quiet);

// The work directory at exit: removed with everything in it when it holds no
// download file "<n>.pop"; otherwise everything else goes and the download
// files (with the note of their account) stay for the next round. True when
// everything that was to go went.
bool remove_work_directory_if_done(std::string_view work_directory);

// The periodic check of one account: true when its server holds mail the
// account has not received. Only an account with a POP server, a POP id and
// a stored scrambled password is asked (the check never prompts); every
// failure counts as "no new mail" and shows nothing.
bool check_account_for_new_mail(std::string_view mailbox, std::string_view title);

}  // namespace qm
