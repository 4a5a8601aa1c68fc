#include "store/send_receive.h"

#include <algorithm>
#include <limits>
#include <set>

#include "config/accounts.h"
#include "config/settings.h"
#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/outbox.h"
#include "store/receive_filing.h"

namespace qm {

namespace {

constexpr std::string_view uid_list_name = "uid.lst";
constexpr char scrambled_mark = '?';
// A job dialogue answers 1 when its job finished with 0.
constexpr int job_succeeded = 1;

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

bool account_complete(const current_account& account) {
    return !account.address.empty() && !account.pop_server.empty() && !account.smtp_server.empty() &&
           !account.pop_id.empty();
}

// The stored password of `key`, or the one the user types. False when the
// prompt was cancelled.
bool obtain_password(send_receive_host& host, std::string_view mailbox, std::string_view title,
                     std::string_view key, held_password& password) {
    password.text = read_account_password(mailbox, title, key);
    if (!password.text.empty()) return true;
    if (host.ask_password(password.text)) return true;
    wipe_password(password.text);
    return false;
}

// ---- download files and their account ----------------------------------------

std::string owner_path(std::string_view work) { return std::string(work) + std::string(download_owner_name); }

void note_owner(std::string_view work, std::string_view account_root) {
    // Only a hint for the next round: without it, leftovers go to the account
    // that round is for.
    write_text_file(owner_path(work), std::string(account_root) + "\n");
}

// The account the download files were received for, when it still has an inbox.
std::string read_owner(std::string_view work) {
    text_reader reader(owner_path(work));
    std::string root;
    if (!reader.is_open() || !reader.read_line(root)) return {};
    if (root.empty() || root.back() != '/' || !directory_exists(special_folder_in(root, special_folder::inbox)))
        return {};
    return root;
}

void forget_owner_when_filed(std::string_view work) {
    std::string path = owner_path(work);
    if (download_files(work).empty() && path_exists(path)) delete_file(path);
}

struct filing_outcome {
    int filed = 0;
    bool problem = false;
};

// Files the download files into the account's inbox and, when any arrived,
// sorts it with the trash's rules when "arrange at receive" is on.
filing_outcome file_downloads(std::string_view work, std::string_view account_root, reporter& report) {
    filing_outcome outcome;
    std::size_t waiting = download_files(work).size();
    if (waiting == 0) return outcome;
    int result = import_downloaded_messages(work, account_root, report);
    std::size_t left = download_files(work).size();
    // Counted from what is left: a failure in one file does not hide the
    // messages that were filed.
    outcome.filed = static_cast<int>(waiting > left ? waiting - left : 0);
    outcome.problem = result < 0;
    if (outcome.filed > 0 && settings().arrange_at_receive) {
        arrange_run(special_folder_in(account_root, special_folder::inbox),
                    special_folder_in(account_root, special_folder::trash), report);
    }
    return outcome;
}

// ---- the jobs ------------------------------------------------------------------

// Starts the job and lets the host run it; the job's result code.
int run(send_receive_host& host, mail_job& job, std::string_view server) {
    job.start();  // a job that cannot start is finished with a code at once
    int answer = host.run_job(job, server, job.trace);
    int code = job.close_handle();
    if (answer != job_succeeded && code == result_ok) code = result_cancelled;
    return code;
}

int receive(send_receive_host& host, const current_account& account, const std::string& account_root,
            const std::string& work, held_password& password) {
    thread_pop job;
    job.download_prefix = work;
    job.pop_server = account.pop_server;
    job.port = account.pop_port;
    job.user_id = account.pop_id;
    job.uid_list_path = account_root + std::string(uid_list_name);
    job.remove = account.pop_remove;
    job.apop = account.apop;
    job.ssl = account.pop_over_ssl;
    job.verify_certificate = account.verify_certificate;
    job.trace = host.trace_wanted();
    hand_over(password, job.password);
    return run(host, job, account.pop_server);
}

int send(send_receive_host& host, const current_account& account, const std::string& work,
         held_password& password) {
    thread_smtp job;
    job.queue_directory = work;
    job.smtp_server = account.smtp_server;
    job.port = account.smtp_port;
    job.greeting_name = smtp_greeting_name(account.address);
    if (account.smtp_auth) {
        job.user_id = account.smtp_id.empty() ? account.pop_id : account.smtp_id;
        hand_over(password, job.password);
    }
    job.ssl = account.smtp_over_ssl;
    job.verify_certificate = account.verify_certificate;
    job.trace = host.trace_wanted();
    return run(host, job, account.smtp_server);
}

}  // namespace

int send_receive(send_receive_host& host, std::string_view mailbox, std::string_view account_title, bool quiet) {
    reporter& report = host.report();
    const current_account account = load_current_account(mailbox, account_title);
    const std::string root = account_directory(mailbox, account_title);
    if (!account_complete(account) || !directory_exists(root)) {
        report.notice(str::account_incomplete);
        return round_account_incomplete;
    }
    const std::string work = context().work_directory;
    const std::string inbox = special_folder_in(root, special_folder::inbox);

    // Both passwords before any connection: a cancel costs nothing.
    held_password pop_password, smtp_password;
    if (!obtain_password(host, mailbox, account_title, account_key::pop_password, pop_password))
        return result_cancelled;
    if (account.smtp_auth &&
        !obtain_password(host, mailbox, account_title, account_key::smtp_password, smtp_password))
        return result_cancelled;

    if (!directory_exists(work)) make_directory(work);
    int first_failure = 0;
    auto note = [&first_failure](int code) {
        if (first_failure == 0) first_failure = code;
    };
    int new_mail = 0;
    bool filing_problem = false;
    // Shown once, however many filings failed.
    auto report_filing_problem = [&] {
        if (filing_problem) report.error(str::receive_import_problem);
    };

    // Mail an earlier round received but could not file comes first, into
    // the account it was received for.
    if (!download_files(work).empty()) {
        std::string owner = read_owner(work);
        if (owner.empty()) owner = root;
        filing_outcome leftovers = file_downloads(work, owner, report);
        if (owner == root) new_mail += leftovers.filed;
        filing_problem = leftovers.problem;
        if (filing_problem) note(round_filing_problem);
        // Mail of another account that still waits keeps its owner: a receive
        // now would note this account for it and file it into this inbox.
        if (filing_problem && owner != root) {
            report_filing_problem();
            return first_failure;
        }
    }

    note_owner(work, root);
    int code = receive(host, account, root, work, pop_password);
    if (code != result_ok) {
        // Complete downloads stay for the next round; the server may already
        // have deleted them.
        note(code);
        report_filing_problem();
        forget_owner_when_filed(work);
        return first_failure;
    }

    if (outbox_holds_mail(root)) {
        if (!prepare_outbox(root, work, report)) {
            note(result_file_error);
        } else {
            note(send(host, account, work, smtp_password));
            // Whatever the server accepted is filed, also after a failure, so
            // that the next round does not send it again.
            file_sent_mail(root, work, report);
            if (settings().arrange_at_send)
                arrange_run(special_folder_in(root, special_folder::sent), root, report);
        }
    }
    wipe_password(smtp_password.text);

    filing_outcome filed = file_downloads(work, root, report);
    new_mail += filed.filed;
    if (filed.problem) {
        filing_problem = true;
        note(round_filing_problem);
    }
    forget_owner_when_filed(work);
    if (new_mail > 0 && !quiet) host.show_inbox(inbox);
    if (filing_problem) {
        report_filing_problem();
    } else if (new_mail == 0 && !quiet) {
        report.notice(str::receive_no_new_mail);
    }
    return first_failure;
}

bool remove_work_directory_if_done(std::string_view work_directory) {
    const std::string work(work_directory);
    if (!directory_exists(work)) return true;
    std::vector<std::string> downloads = download_files(work);
    if (downloads.empty()) return delete_tree(work, false);

    std::set<std::string, std::less<>> kept(downloads.begin(), downloads.end());
    kept.insert(std::string(download_owner_name));
    std::vector<dir_entry> doomed;
    {
        directory_walker walker(work);
        dir_entry entry;
        while (walker.next(entry)) {
            if (entry.name == "." || entry.name == "..") continue;
            if (!entry.directory && kept.contains(entry.name)) continue;
            doomed.push_back(entry);
        }
    }
    bool ok = true;
    for (const dir_entry& entry : doomed) {
        bool removed = entry.directory && !entry.symlink ? delete_tree(work + entry.name + "/", false)
                                                          : delete_file(work + entry.name);
        ok = removed && ok;
    }
    return ok;
}

bool check_account_for_new_mail(std::string_view mailbox, std::string_view title) {
    const current_account account = load_current_account(mailbox, title);
    if (account.pop_server.empty() || account.pop_id.empty()) return false;
    // It never prompts: only a password stored scrambled is used.
    std::string stored = read_account_key(mailbox, title, account_key::pop_password, "",
                                          std::numeric_limits<std::size_t>::max());
    bool scrambled = !stored.empty() && stored.front() == scrambled_mark;
    wipe_password(stored);
    if (!scrambled) return false;

    thread_pop_check job;
    job.pop_server = account.pop_server;
    job.port = account.pop_port;
    job.user_id = account.pop_id;
    job.uid_list_path = account_directory(mailbox, title) + std::string(uid_list_name);
    job.remove = account.pop_remove;
    job.apop = account.apop;
    job.ssl = account.pop_over_ssl;
    job.verify_certificate = account.verify_certificate;
    job.password = read_account_password(mailbox, title, account_key::pop_password);
    if (!job.start()) return false;
    return job.close_handle() == result_ok && job.new_mail();
}

}  // namespace qm
