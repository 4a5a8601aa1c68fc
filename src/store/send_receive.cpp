#include "store/send_receive.h"

#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "config/account_settings.h"
#include "base/format.h"
#include "config/settings.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/kill_point.h"
#include "platform/program_context.h"
#include "platform/work_directory.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/outbox.h"
#include "store/receive_filing.h"
#include "store/round_logins.h"
#include "config/account_secrets.h"

namespace qm {

namespace {

constexpr std::string_view uid_list_name = "uid.lst";

// SMTP AUTH with a password, or OAuth 2.0 (which always logs in).
bool logs_in_to_smtp(const current_account& account) { return account.smtp_auth || account.smtp_oauth2; }

std::string uid_list_path(std::string_view mailbox, std::string_view title) {
    return account_directory(mailbox, title) + std::string(uid_list_name);
}

// ---- filing while receiving --------------------------------------------------

// What filing on another thread says, kept for the round to show on its own
// thread; a message said again (a download that fails at every pass) is
// kept once.
class kept_messages : public reporter {
public:
    bool show(message_kind kind, std::string_view text) override {
        for (const auto& [shown_kind, shown_text] : shown_) {
            if (shown_kind == kind && shown_text == text) return true;
        }
        shown_.emplace_back(kind, std::string(text));
        return true;
    }
    void show_to(reporter& report) {
        for (const auto& [kind, text] : shown_) report.show(kind, text);
        shown_.clear();
    }

private:
    std::vector<std::pair<message_kind, std::string>> shown_;
};

// Files a receive's downloads into the inbox while the receive goes on, on a
// thread of its own: the receive job wakes it each time a download has taken
// its name, and each pass files every download that waits, lowest number
// first, so that the inbox takes them in the order they came. Only whole
// downloads have a download file's name, and one whose id is being noted is
// left to the receive (platform/work_directory.h).
class filing_during_receive {
public:
    filing_during_receive(std::string work, std::string account_root)
        : work_(std::move(work)), account_root_(std::move(account_root)) {
        try {
            thread_ = std::thread([this] { run(); });
            started_ = true;
        } catch (const std::system_error&) {
            // Without a thread the round files after the receive, as it always could.
        }
    }
    ~filing_during_receive() { stop(false); }
    filing_during_receive(const filing_during_receive&) = delete;
    filing_during_receive& operator=(const filing_during_receive&) = delete;

    bool started() const { return started_; }
    // For the receive job: called on its thread after each download.
    std::function<void()> waker() {
        if (!started_) return {};
        return [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            ++waiting_;
            ++handed_;
            wake_.notify_one();
        };
    }
    // Ends the thread once its pass is done; with `file_the_rest`, after one
    // more for what came since.
    void stop(bool file_the_rest) {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            file_the_rest_ = file_the_rest;
        }
        wake_.notify_one();
        thread_.join();
    }
    // After stop(): the downloads the receive handed over, whether one could
    // not be filed, and what filing said.
    std::size_t handed() const { return handed_; }
    bool problem() const { return problem_; }
    void show_messages_to(reporter& report) { messages_.show_to(report); }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return waiting_ > 0 || stopping_; });
            if (stopping_ && (!file_the_rest_ || waiting_ == 0)) return;
            waiting_ = 0;
            lock.unlock();
            kill_point("receive-filing");
            if (import_downloaded_messages(work_, account_root_, messages_) < 0) problem_ = true;
            lock.lock();
        }
    }

    const std::string work_, account_root_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t waiting_ = 0, handed_ = 0;  // guarded by mutex_
    bool stopping_ = false, file_the_rest_ = false;  // guarded by mutex_
    bool started_ = false;
    bool problem_ = false;  // the filing thread's until it is joined
    kept_messages messages_;  // likewise
    std::thread thread_;
};

// ---- the jobs ------------------------------------------------------------------

net_result receive_once(send_receive_host& host, const current_account& account, const std::string& uid_list,
                        const std::string& work, round_logins& logins, const std::function<void()>& downloaded,
                        bool& again) {
    thread_pop job;
    job.downloaded = downloaded;
    job.size_limit = static_cast<std::uint64_t>(settings().download_limit) * 1024 * 1024;
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
    logins.hand_to(job, password_server::pop3, job.password);
    const net_result code = run_host_job(host, job, account.pop_server);
    again = logins.retry_after(job, code);
    return code;
}

// A job that ended for want of a sign-in runs once more after it.
template <typename Job>
net_result with_one_retry(Job job) {
    bool again = false;
    net_result code = job(again);
    return again ? job(again) : code;
}

net_result receive(send_receive_host& host, const current_account& account, const std::string& uid_list,
                   const std::string& work, round_logins& logins, const std::function<void()>& downloaded) {
    return with_one_retry(
        [&](bool& again) { return receive_once(host, account, uid_list, work, logins, downloaded, again); });
}

net_result send_once(send_receive_host& host, const current_account& account, const std::string& work,
                     round_logins& logins, bool& again) {
    thread_smtp job;
    job.queue_directory = work;
    job.smtp_server = account.smtp_server;
    job.port = account.smtp_port;
    if (logs_in_to_smtp(account)) {
        job.user_id = account.smtp_id.empty() ? account.pop_id : account.smtp_id;
        logins.hand_to(job, password_server::smtp, job.password);
    }
    job.ssl = smtp_security(account) == connection_security::tls;
    job.starttls = smtp_security(account) == connection_security::starttls;
    job.verify_certificate = account.verify_certificate;
    job.trace = host.trace_wanted();
    const net_result code = run_host_job(host, job, account.smtp_server);
    again = logins.retry_after(job, code);
    return code;
}

net_result send(send_receive_host& host, const current_account& account, const std::string& work,
                round_logins& logins) {
    return with_one_retry([&](bool& again) { return send_once(host, account, work, logins, again); });
}

void note_job(round_result& result, net_result code) {
    if (result.job == net_result::ok) result.job = code;
}

// Sends what the outbox holds: preparation, the send job, then filing of
// whatever the server accepted (also after a failed send job, so that
// nothing is sent twice) and "arrange at send". A message that could not be
// prepared stays queued (it was named) and the round ends with file_error.
void send_outbox(send_receive_host& host, const current_account& account, const std::string& root,
                 const std::string& work, round_logins& logins, round_result& result) {
    reporter& report = host.report();
    const outbox_preparation preparation = prepare_outbox(root, work, report);
    if (preparation.prepared > 0) {
        note_job(result, send(host, account, work, logins));
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

// Downloads that could not be filed are told with how many and where they
// wait, so that nobody takes them for lost.
void tell_waiting_downloads(reporter& report, const std::string& work) {
    const std::size_t waiting = download_files(work).size();
    if (waiting > 0)
        report.show(message_kind::notice, string_printf(load_string(str::receive_downloads_waiting).c_str(),
                                                        static_cast<int>(waiting), work.c_str()));
}

// Ends the filing that went on during the receive, once what came since
// its last pass is filed, and shows what it said: how many of the
// downloads that waited before the receive and that the receive handed
// over reached the inbox, arranged there when `arrange` is set.
int end_filing(filing_during_receive& filing, std::size_t waiting_before,
               const std::string& work, const std::string& root, bool arrange, reporter& report,
               round_result& result) {
    filing.stop(true);
    filing.show_messages_to(report);
    if (filing.problem()) result.filing_problem = true;
    // Counted from what is left: a failure in one file does not hide the
    // messages that were filed.
    const std::size_t came = waiting_before + filing.handed(), left = download_files(work).size();
    const int filed = static_cast<int>(came > left ? came - left : 0);
    if (filed > 0 && arrange) arrange_run(special_folder_in(root, special_folder::inbox), root, report);
    return filed;
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

    round_logins logins(host, mailbox, account_title, account);
    if (net_result code = logins.obtain(true, logs_in_to_smtp(account)); code != net_result::ok) {
        result.job = code;
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
        tell_waiting_downloads(report, work);
        return result;
    }

    note_download_owner(work, root);
    const std::size_t waiting = download_files(work).size();
    filing_during_receive filing(work, root);
    net_result code = receive(host, account, uid_list_path(mailbox, account_title), work, logins, filing.waker());
    if (code != net_result::ok) {
        // What came whole is filed all the same (the server may already have
        // deleted it); what cannot be filed waits for the next round.
        note_job(result, code);
        if (filing.started()) end_filing(filing, waiting, work, root, arrange, report, result);
        report_filing_problem();
        tell_waiting_downloads(report, work);
        forget_download_owner_when_filed(work);
        return result;
    }

    // Filing ends before the outbox is sent (arranging the sent mail may move
    // mail into the inbox); its messages come after those of the send.
    filing.stop(true);
    if (outbox_holds_mail(root)) send_outbox(host, account, root, work, logins, result);

    if (filing.started()) {
        new_mail += end_filing(filing, waiting, work, root, arrange, report, result);
    } else {
        filing_outcome filed = file_downloads(work, root, arrange, report);
        new_mail += filed.filed;
        if (filed.problem) result.filing_problem = true;
    }
    forget_download_owner_when_filed(work);
    if (new_mail > 0 && !quiet) host.show_inbox(inbox);
    if (result.filing_problem) {
        report_filing_problem();
        tell_waiting_downloads(report, work);
    }
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
    round_logins logins(host, mailbox, account_title, account);
    if (net_result code = logins.obtain(false, logs_in_to_smtp(account)); code != net_result::ok) {
        result.job = code;
        return result;
    }
    const std::string work = context().work_directory;
    make_work_directory(work);
    send_outbox(host, account, root, work, logins, result);
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
    // It never prompts: only a stored password or refresh token is used.
    const secret_kind kind = account.pop_oauth2 ? secret_kind::refresh_token : secret_kind::pop_password;
    std::string secret = read_account_secret(mailbox, title, kind);
    if (secret.empty()) return nullptr;

    auto job = std::make_unique<thread_pop_check>();
    if (account.pop_oauth2) {
        job->oauth2 = true;
        job->registration = load_oauth2_registration(mailbox, title);
        job->refresh_token.swap(secret);
    } else {
        job->password.swap(secret);
    }
    job->pop_server = account.pop_server;
    job->port = account.pop_port;
    job->user_id = account.pop_id;
    job->uid_list_path = uid_list_path(mailbox, title);
    job->remove = account.pop_remove;
    job->apop = account.apop;
    job->ssl = pop_security(account) == connection_security::tls;
    job->starttls = pop_security(account) == connection_security::starttls;
    job->verify_certificate = account.verify_certificate;
    if (!job->start()) return nullptr;
    return job;
}

}  // namespace qm
