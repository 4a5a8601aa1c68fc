#include "cli/terminal_host.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/cli_support.h"
#include "cli/terminal_input.h"
#include "config/account_settings.h"
#include "net/mail_jobs.h"

namespace qm::cli {

namespace {

// The job's state is looked at this often, as the progress dialog's timer does.
constexpr std::chrono::milliseconds poll_interval{10};
// The password field takes at most this many bytes.
constexpr std::size_t password_limit = password_capacity - 1;

void print_trace(std::string_view text) {
    std::string shown = terminal_text(text);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

// The account is the one named on the command line, or the one --all has
// just announced.
bool terminal_host::ask_password(std::string_view, password_server server, std::string& password) {
    const int prompt = server == password_server::pop3 ? str::password_prompt : str::smtp_password_prompt;
    return ask_terminal_password(load_string(prompt), password_limit, password);
}

bool terminal_host::run_job(thread& job, std::string_view server, bool trace) {
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

void terminal_host::visiting_account(std::string_view title) {
    account_ = title;
    std::fprintf(stderr, "[%s]\n", terminal_text(title).c_str());
}

bool terminal_host::round_cancelled() { return interrupted != 0; }

bool terminal_host::may_sign_in() {
    if (!may_sign_in_) needing_sign_in_.push_back(account_);
    return may_sign_in_;
}

void terminal_host::signing_in(std::string_view address) {
    std::fprintf(stderr,
                 "Sign in with your browser; if none opened, open this address:\n%s\n"
                 "Waiting for the browser (Ctrl-C cancels)...\n",
                 std::string(address).c_str());
}

}  // namespace qm::cli
