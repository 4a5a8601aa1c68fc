#include "cli/sync_command.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <termios.h>
#include <unistd.h>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/terminal_reporter.h"
#include "config/accounts.h"
#include "config/settings.h"
#include "net/mail_jobs.h"
#include "platform/cp932.h"
#include "platform/program_context.h"
#include "store/folder_names.h"
#include "store/send_receive.h"

namespace qm::cli {

namespace {

const command_voice voice{"sync", sync_syntax};
// The job's state is looked at this often, as the progress dialog's timer does.
constexpr std::chrono::milliseconds poll_interval{10};
// The password field takes at most this many bytes.
constexpr std::size_t password_limit = password_capacity - 1;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void on_interrupt(int) { interrupted = 1; }

// Ctrl-C and SIGTERM cancel the running job instead of killing the process
// between download and filing. Without SA_RESTART, so that a password
// prompt gives up too.
class interrupt_guard {
public:
    interrupt_guard() {
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &old_int_);
        ::sigaction(SIGTERM, &action, &old_term_);
    }
    ~interrupt_guard() {
        ::sigaction(SIGINT, &old_int_, nullptr);
        ::sigaction(SIGTERM, &old_term_, nullptr);
    }
    interrupt_guard(const interrupt_guard&) = delete;
    interrupt_guard& operator=(const interrupt_guard&) = delete;

private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

// Turns the terminal's echo off while a password is typed.
class echo_off {
public:
    explicit echo_off(int fd) : fd_(fd) {
        if (!::isatty(fd) || ::tcgetattr(fd, &old_) != 0) return;
        termios quiet = old_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    ~echo_off() {
        if (!active_) return;
        ::tcsetattr(fd_, TCSAFLUSH, &old_);
    }
    echo_off(const echo_off&) = delete;
    echo_off& operator=(const echo_off&) = delete;

private:
    int fd_;
    termios old_{};
    bool active_ = false;
};

// One line from the file descriptor, byte by byte, so that no buffer of the
// C library keeps a copy of the password. False at the end of the input
// before anything was typed, after an error, or when interrupted.
bool read_secret_line(int fd, std::string& line) {
    line.reserve(password_capacity * 4);
    bool any = false;
    for (;;) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n == 1) {
            any = true;
            if (c == '\n') break;
            line.push_back(c);
        } else if (n == 0) {
            if (!any) return false;
            break;
        } else if (errno != EINTR || interrupted) {
            return false;
        }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

class terminal_host : public send_receive_host {
public:
    explicit terminal_host(bool trace) : trace_(trace) {}

    bool ask_password(std::string& password) override {
        std::fprintf(stderr, "%s ", terminal_text(load_string(str::password_prompt)).c_str());
        std::fflush(stderr);
        std::string typed;
        bool got;
        {
            echo_off quiet(STDIN_FILENO);
            got = read_secret_line(STDIN_FILENO, typed);
        }
        std::fputc('\n', stderr);  // the line end typed was not shown
        if (!got) {
            wipe_password(typed);
            return false;
        }
        // Typed in UTF-8; the program's text, and what the window would send, is CP932.
        std::optional<std::string> converted = utf8_to_cp932(typed);
        std::string& chosen = converted ? *converted : typed;
        std::size_t kept = std::min(chosen.size(), password_limit);
        password.reserve(kept);
        password.assign(chosen, 0, kept);
        wipe_password(typed);
        if (converted) wipe_password(*converted);
        return true;
    }

    int run_job(thread& job, std::string_view server, bool trace) override {
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
        if (job.close_handle() == 0) return 1;
        report_.show(message_kind::error, job_result_message(job));
        return 3;
    }

    reporter& report() override { return report_; }
    bool trace_wanted() override { return trace_; }

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
    bool have_account = false;
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.is("--all")) {
            arguments.all = true;
        } else if (reader.is("--trace")) {
            arguments.trace = true;
        } else if (reader.is_option()) {
            problem = unknown_option(reader.current());
            return false;
        } else if (!have_account) {
            if (!take_account(reader.current(), is_valid_folder_name, arguments.account, problem)) return false;
            have_account = true;
        } else {
            problem = "more than one account given";
            return false;
        }
    }
    if (have_account == arguments.all) {
        problem = arguments.all ? "give an account or --all, not both" : "no account given";
        return false;
    }
    return true;
}

int sync_all(terminal_host& host, const std::string& mailbox) {
    int status = 0;
    for (const std::string& title : list_accounts(mailbox)) {
        if (interrupted) return 1;
        std::fprintf(stderr, "[%s]\n", terminal_text(title).c_str());
        if (send_receive(host, mailbox, title, true) != 0) status = 1;
    }
    if (interrupted) return 1;
    host.report().notice(str::round_finished);
    return status;
}

}  // namespace

int run_sync(int argc, char** argv) {
    sync_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    if (!prepare_context()) return 1;

    terminal_host host(arguments.trace);
    LoadFunctionSettings(settings(), host.report());
    const std::string mailbox = settings().mailbox;
    if (!arguments.all && !account_exists(mailbox, arguments.account)) {
        voice.complain("there is no account \"" + terminal_text(arguments.account) + "\" in " + terminal_text(mailbox));
        return 1;
    }

    int status;
    {
        interrupted = 0;
        interrupt_guard guard;
        status = arguments.all ? sync_all(host, mailbox)
                               : (send_receive(host, mailbox, arguments.account, false) == 0 ? 0 : 1);
    }
    // Download files that could not be filed stay for the next run.
    remove_work_directory_if_done(context().work_directory);
    return status;
}

}  // namespace qm::cli
