#include "cli/sync_command.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "cli/cli_support.h"
#include "cli/terminal_input.h"
#include "cli/terminal_reporter.h"
#include "config/account_settings.h"
#include "config/settings.h"
#include "net/mail_jobs.h"
#include "store/send_receive.h"

namespace qm::cli {

namespace {

const command_voice voice{"sync", sync_syntax};
// The job's state is looked at this often, as the progress dialog's timer does.
constexpr std::chrono::milliseconds poll_interval{10};
// The password field takes at most this many bytes.
constexpr std::size_t password_limit = password_capacity - 1;

class terminal_host : public send_receive_host {
public:
    explicit terminal_host(bool trace) : trace_(trace) {}

    // The account is the one named on the command line, or the one --all
    // has just announced.
    bool ask_password(std::string_view, password_server server, std::string& password) override {
        const int prompt = server == password_server::pop3 ? str::password_prompt : str::smtp_password_prompt;
        return ask_terminal_password(load_string(prompt), password_limit, password);
    }

    bool run_job(thread& job, std::string_view server, bool trace) override {
        if (trace) print_trace("connecting to " + std::string(server) + "...\r\n");
        bool cancel_sent = false;
        while (!job.is_finished()) {
            if (interrupted && !cancel_sent) {
                job.request_cancel();
                cancel_sent = true;
            }
            if (job.trace_waiting()) {
                print_trace(job.trace_text());
                job.trace_taken();
                continue;
            }
            std::this_thread::sleep_for(poll_interval);
        }
        if (job.close_handle() == net_result::ok) return true;
        report_.show(message_kind::error, job_result_message(job));
        return false;
    }

    reporter& report() override { return report_; }
    bool trace_wanted() override { return trace_; }
    void visiting_account(std::string_view title) override {
        std::fprintf(stderr, "[%s]\n", terminal_text(title).c_str());
    }
    bool round_cancelled() override { return interrupted != 0; }

private:
    static void print_trace(std::string_view text) {
        std::string shown = terminal_text(text);
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        std::fflush(stdout);
    }

    terminal_reporter report_;
    bool trace_;
};

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

    terminal_host host(arguments.trace);
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
    return result.ok() ? 0 : 1;
}

}  // namespace qm::cli
