#include "store/send_receive.h"

#include <limits>

#include "config/account_settings.h"
#include "base/format.h"
#include "config/settings.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/work_directory.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/outbox.h"
#include "store/receive_filing.h"

namespace qm {

namespace {

constexpr std::string_view uid_list_name = "uid.lst";
constexpr char scrambled_mark = '?';

// A password held by the round: overwritten with '*' on every way out.
struct held_password {
    std::string text;
    held_password() = default;
    held_password(const held_password&) = delete;
    held_password& operator=(const held_password&) = delete;
    ~held_password() { wipe_password(text); }
};

// Hands the password to a job: the job gets the only readable copy.
void hand_over(held_password& from, std::string& to) {
    to.reserve(from.text.size());  // no reallocation that would leave a stray copy
    to.assign(from.text);
    wipe_password(from.text);
}

// The stored password of `key`, or the one the user types. False when the
// prompt was cancelled.
bool obtain_password(send_receive_host& host, std::string_view mailbox, std::string_view title,
                     password_server server, held_password& password) {
    const std::string_view key = server == password_server::pop3 ? account_key::pop_password
                                                                  : account_key::smtp_password;
    password.text = read_account_password(mailbox, title, key);
    if (!password.text.empty()) return true;
    if (host.ask_password(title, server, password.text)) return true;
    wipe_password(password.text);
    return false;
}

std::string uid_list_path(std::string_view mailbox, std::string_view title) {
    return account_directory(mailbox, title) + std::string(uid_list_name);
}

// ---- the jobs ------------------------------------------------------------------

// Starts the job and lets the host run it; the job's result.
net_result run(send_receive_host& host, mail_job& job, std::string_view server) {
    job.start();  // a job that cannot start is finished with a result at once
    bool succeeded = host.run_job(job, server, job.trace);
    net_result code = job.close_handle();
    if (!succeeded && code == net_result::ok) code = net_result::cancelled;
    return code;
}

net_result receive(send_receive_host& host, const current_account& account, const std::string& uid_list,
                   const std::string& work, held_password& password) {
    thread_pop job;
    job.download_prefix = work;
    job.pop_server = account.pop_server;
    job.port = account.pop_port;
    job.user_id = account.pop_id;
    job.uid_list_path = uid_list;
    job.remove = account.pop_remove;
    job.apop = account.apop;
    job.ssl = pop_security(account) == connection_security::tls;
    job.starttls = pop_security(account) == connection_security::starttls;
    job.verify_certificate = account.verify_certificate;
    job.trace = host.trace_wanted();
    hand_over(password, job.password);
    return run(host, job, account.pop_server);
}

net_result send(send_receive_host& host, const current_account& account, const std::string& work,
                held_password& password) {
    thread_smtp job;
    job.queue_directory = work;
    job.smtp_server = account.smtp_server;
    job.port = account.smtp_port;
    if (account.smtp_auth) {
        job.user_id = account.smtp_id.empty() ? account.pop_id : account.smtp_id;
        hand_over(password, job.password);
    }
    job.ssl = smtp_security(account) == connection_security::tls;
    job.starttls = smtp_security(account) == connection_security::starttls;
    job.verify_certificate = account.verify_certificate;
    job.trace = host.trace_wanted();
    return run(host, job, account.smtp_server);
}

void note_job(round_result& result, net_result code) {
    if (result.job == net_result::ok) result.job = code;
}

// Sends what the outbox holds: preparation, the send job, then filing of
// whatever the server accepted (also after a failed send job, so that
// nothing is sent twice) and "arrange at send". A message that could not be
// prepared stays queued (it was named) and the round ends with file_error.
void send_outbox(send_receive_host& host, const current_account& account, const std::string& root,
                 const std::string& work, held_password& password, round_result& result) {
    reporter& report = host.report();
    const outbox_preparation preparation = prepare_outbox(root, work, report);
    if (preparation.prepared > 0) {
        note_job(result, send(host, account, work, password));
        result.sent += file_sent_mail(root, work, report);
        if (settings().arrange_at_send) arrange_run(special_folder_in(root, special_folder::sent), root, report);
    }
    if (preparation.kept > 0) note_job(result, net_result::file_error);
}

// The account a round is for, when it is complete; else the round ends
// with "アカウント設定が完了していません.".
bool complete_account(reporter& report, std::string_view mailbox, std::string_view title, current_account& account,
                      std::string& root, round_result& result) {
    account = load_current_account(mailbox, title);
    root = account_directory(mailbox, title);
    if (account_complete(account) && directory_exists(root)) return true;
    report.notice(str::account_incomplete);
    result.account_incomplete = true;
    return false;
}

// "2通のメールを送信しました." after another message, on a line of its own.
std::string with_sent_count(std::string text, std::size_t sent) {
    if (sent == 0) return text;
    if (!text.empty()) text += "\n";
    return text + string_printf(load_string(str::round_sent_count).c_str(), static_cast<int>(sent));
}

}  // namespace

round_result send_receive(send_receive_host& host, std::string_view mailbox, std::string_view account_title,
                          bool quiet) {
    round_result result;
    reporter& report = host.report();
    current_account account;
    std::string root;
    if (!complete_account(report, mailbox, account_title, account, root, result)) return result;
    const std::string work = context().work_directory;
    const std::string inbox = special_folder_in(root, special_folder::inbox);

    // Both passwords before any connection: a cancel costs nothing.
    held_password pop_password, smtp_password;
    if (!obtain_password(host, mailbox, account_title, password_server::pop3, pop_password) ||
        (account.smtp_auth && !obtain_password(host, mailbox, account_title, password_server::smtp, smtp_password))) {
        result.job = net_result::cancelled;
        return result;
    }

    make_work_directory(work);
    const bool arrange = settings().arrange_at_receive;
    // Shown once, however many filings failed.
    auto report_filing_problem = [&] {
        if (result.filing_problem) report.error(str::receive_import_problem);
    };

    // Mail an earlier round received but could not file comes first, into
    // the account it was received for.
    leftover_outcome leftovers = file_leftover_downloads(work, root, arrange, report);
    int new_mail = leftovers.filed_here;
    result.filing_problem = leftovers.problem;
    if (leftovers.blocked) {
        report_filing_problem();
        return result;
    }

    note_download_owner(work, root);
    net_result code = receive(host, account, uid_list_path(mailbox, account_title), work, pop_password);
    if (code != net_result::ok) {
        // Complete downloads stay for the next round; the server may already
        // have deleted them.
        note_job(result, code);
        report_filing_problem();
        forget_download_owner_when_filed(work);
        return result;
    }

    if (outbox_holds_mail(root)) send_outbox(host, account, root, work, smtp_password, result);
    wipe_password(smtp_password.text);

    filing_outcome filed = file_downloads(work, root, arrange, report);
    new_mail += filed.filed;
    if (filed.problem) result.filing_problem = true;
    forget_download_owner_when_filed(work);
    if (new_mail > 0 && !quiet) host.show_inbox(inbox);
    if (result.filing_problem) report_filing_problem();
    if (quiet) return result;
    const std::string said = new_mail == 0 && !result.filing_problem ? load_string(str::receive_no_new_mail) : "";
    if (!said.empty() || result.sent > 0) report.show(message_kind::notice, with_sent_count(said, result.sent));
    return result;
}

round_result send_queued(send_receive_host& host, std::string_view mailbox, std::string_view account_title) {
    round_result result;
    reporter& report = host.report();
    current_account account;
    std::string root;
    if (!complete_account(report, mailbox, account_title, account, root, result)) return result;
    if (!outbox_holds_mail(root)) {
        report.notice(str::round_nothing_to_send);
        return result;
    }
    held_password smtp_password;
    if (account.smtp_auth && !obtain_password(host, mailbox, account_title, password_server::smtp, smtp_password)) {
        result.job = net_result::cancelled;
        return result;
    }
    const std::string work = context().work_directory;
    make_work_directory(work);
    send_outbox(host, account, root, work, smtp_password, result);
    if (result.sent > 0) report.show(message_kind::notice, with_sent_count("", result.sent));
    return result;
}

round_result send_receive_all(send_receive_host& host, std::string_view mailbox) {
    round_result first;
    for (const std::string& title : list_accounts(mailbox)) {
        if (host.round_cancelled()) return first.ok() ? round_result{net_result::cancelled} : first;
        host.visiting_account(title);
        round_result result = send_receive(host, mailbox, title, true);
        if (first.ok()) first = result;
    }
    if (host.round_cancelled()) return first.ok() ? round_result{net_result::cancelled} : first;
    host.report().notice(str::round_finished);
    return first;
}

std::unique_ptr<thread_pop_check> start_new_mail_check(std::string_view mailbox, std::string_view title) {
    const current_account account = load_current_account(mailbox, title);
    if (account.pop_server.empty() || account.pop_id.empty()) return nullptr;
    // It never prompts: only a password stored scrambled is used.
    std::string stored = read_account_key(mailbox, title, account_key::pop_password, "",
                                          std::numeric_limits<std::size_t>::max());
    bool scrambled = !stored.empty() && stored.front() == scrambled_mark;
    wipe_password(stored);
    if (!scrambled) return nullptr;

    auto job = std::make_unique<thread_pop_check>();
    job->pop_server = account.pop_server;
    job->port = account.pop_port;
    job->user_id = account.pop_id;
    job->uid_list_path = uid_list_path(mailbox, title);
    job->remove = account.pop_remove;
    job->apop = account.apop;
    job->ssl = pop_security(account) == connection_security::tls;
    job->starttls = pop_security(account) == connection_security::starttls;
    job->verify_certificate = account.verify_certificate;
    job->password = read_account_password(mailbox, title, account_key::pop_password);
    if (!job->start()) return nullptr;
    return job;
}

}  // namespace qm
