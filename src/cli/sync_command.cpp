#include "cli/sync_command.h"

#include <string>

#include "cli/cli_support.h"
#include "cli/terminal_host.h"
#include "cli/terminal_input.h"
#include "config/account_settings.h"
#include "config/settings.h"
#include "store/send_receive.h"

namespace qm::cli {

namespace {

const command_voice voice{"sync", sync_syntax};
struct sync_arguments {
    std::string account;  // CP932; empty with --all
    bool all = false;
    bool trace = false;
};

bool parse_arguments(int argc, char** argv, sync_arguments& arguments, std::string& problem) {
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.is("--all")) {
            arguments.all = true;
        } else if (reader.is("--trace")) {
            arguments.trace = true;
        } else if (reader.unknown(problem)) {
            return false;
        } else if (!arguments.account.empty()) {
            problem = "more than one account given";
            return false;
        } else if (!take_account(reader.current(), arguments.account, problem)) {
            return false;
        }
    }
    if (arguments.account.empty() != arguments.all) {
        problem = arguments.all ? "give an account or --all, not both" : "no account given";
        return false;
    }
    return true;
}

}  // namespace

int run_sync(int argc, char** argv) {
    sync_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    store_session session;
    if (!session.begin()) return 1;

    terminal_host host(arguments.trace, false);
    host.set_account(arguments.account);
    const std::string mailbox = open_mailbox(settings(), host.report());
    if (mailbox.empty()) return 1;
    if (!arguments.all && !account_exists(mailbox, arguments.account)) {
        voice.complain("there is no account \"" + terminal_text(arguments.account) + "\" in " + terminal_text(mailbox));
        return 1;
    }

    interrupted = 0;
    interrupt_guard guard;
    round_result result = arguments.all ? send_receive_all(host, mailbox)
                                        : send_receive(host, mailbox, arguments.account, false);
    for (const std::string& title : host.needing_sign_in())
        voice.complain("only the browser can sign in to \"" + terminal_text(title) +
                       "\": run  quillmere-cli account login '" + terminal_text(title) + "'");
    return result.ok() ? 0 : 1;
}

}  // namespace qm::cli
