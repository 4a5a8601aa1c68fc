#include "cli/import_command.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "cli/cli_support.h"
#include "cli/terminal_reporter.h"
#include "config/account_settings.h"
#include "config/settings.h"
#include "platform/file_handle.h"
#include "platform/program_context.h"
#include "platform/work_directory.h"
#include "store/accounts.h"
#include "store/mail_import.h"
#include "store/mailbox_layout.h"
#include "store/receive_filing.h"

namespace qm::cli {

namespace {

const command_voice voice{"import", import_syntax};

struct message_source {
    std::string path;  // as given on the command line
    bool mbox = false;
};

struct import_arguments {
    std::string account;  // CP932
    std::vector<message_source> sources;
};

bool parse_arguments(int argc, char** argv, import_arguments& arguments, std::string& problem) {
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.is("--mbox")) {
            const char* mbox = reader.value();
            if (!mbox) {
                problem = "--mbox needs a file";
                return false;
            }
            arguments.sources.push_back({mbox, true});
        } else if (reader.unknown(problem)) {
            return false;
        } else if (!arguments.account.empty()) {
            arguments.sources.push_back({reader.current(), false});
        } else if (!take_account(reader.current(), arguments.account, problem)) {
            return false;
        }
    }
    if (arguments.account.empty()) {
        problem = "no account given";
        return false;
    }
    if (arguments.sources.empty()) {
        problem = "no message file given";
        return false;
    }
    return true;
}

// Whether the file can be imported: a regular file that can be read, and
// for --mbox one that is an mbox.
bool check_source(const message_source& source, std::string& problem) {
    struct stat status;
    if (::stat(source.path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "no such file: " + source.path;
        return false;
    }
    file_handle file(std::fopen(source.path.c_str(), "rb"));
    if (!file) {
        problem = "cannot read " + source.path;
        return false;
    }
    if (source.mbox && !looks_like_mbox(file.get())) {
        problem = source.path + " is not an mbox (it does not begin with a \"From \" line)";
        return false;
    }
    return true;
}

// Copies one source into download files; the number of messages that could
// not be copied (at a failure the rest of an mbox is left, and counted as one).
int copy_source(const message_source& source, const std::string& work) {
    file_handle file(std::fopen(source.path.c_str(), "rb"));
    if (!source.mbox) {
        if (file && copy_message_to_downloads(file.get(), work)) return 0;
        voice.complain("cannot copy " + source.path + " into the work directory");
        return 1;
    }
    mbox_copy copied = file ? copy_mbox_to_downloads(file.get(), work) : mbox_copy{0, true};
    if (!copied.failed) return 0;
    voice.complain("cannot copy the messages of " + source.path + " after the first " +
                   std::to_string(copied.copied) + " into the work directory");
    return 1;
}

// The account directory with its special folders and its settings file,
// made when the account is new.
bool prepare_account(const std::string& mailbox, const std::string& title) {
    if (account_exists(mailbox, title)) return make_special_folders(account_directory(mailbox, title));
    account_values values{};
    values.pop_port = std::to_string(default_pop_port);
    values.smtp_port = std::to_string(default_smtp_port);
    return create_account(mailbox, title, values);
}

void report_left_behind(const std::string& work, const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += " " + terminal_text(name);
    voice.complain(std::to_string(names.size()) + (names.size() == 1 ? " message" : " messages") +
             " could not be filed; the download files stay in " + terminal_text(work) + ":" + list);
}

}  // namespace

int run_import(int argc, char** argv) {
    import_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    for (const message_source& source : arguments.sources) {
        if (!check_source(source, problem)) return voice.usage_error(problem);
    }
    store_session session;
    if (!session.begin()) return 1;

    terminal_reporter report;
    const std::string mailbox = open_mailbox(settings(), report);
    if (mailbox.empty()) return 1;
    const bool arrange = settings().arrange_at_receive;
    const std::string account_root = account_directory(mailbox, arguments.account);
    if (!prepare_account(mailbox, arguments.account)) {
        voice.complain("the account directory " + terminal_text(account_root) + " cannot be made");
        return 1;
    }

    const std::string& work = context().work_directory;
    // Mail a sync received for another account and could not file goes to
    // that account first, as the next round would file it; the new messages
    // only join the work directory once nothing of another account waits there.
    leftover_outcome leftovers = file_leftover_downloads(work, account_root, arrange, report);
    int filed = leftovers.filed;
    bool problem_filing = leftovers.problem;
    int not_copied = 0;
    if (leftovers.blocked) {
        voice.complain("nothing was imported: mail received for " + terminal_text(download_owner(work)) +
                       " still waits to be filed");
    } else {
        note_download_owner(work, account_root);
        for (const message_source& source : arguments.sources) not_copied += copy_source(source, work);
        filing_outcome outcome = file_downloads(work, account_root, arrange, report);
        filed += outcome.filed;
        problem_filing = problem_filing || outcome.problem;
    }
    forget_download_owner_when_filed(work);

    std::printf("%d %s filed\n", filed, filed == 1 ? "message" : "messages");
    std::fflush(stdout);
    if (problem_filing) {
        report.error(str::receive_import_problem);
        report_left_behind(work, download_files(work));
    } else if (filed == 0) {
        report.notice(str::receive_no_new_mail);
    }
    return problem_filing || not_copied > 0 || report.errors() > 0 ? 1 : 0;
}

}  // namespace qm::cli
