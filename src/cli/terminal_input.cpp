#include "cli/terminal_input.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "cli/terminal_reporter.h"
#include "net/mail_jobs.h"
#include "platform/cp932.h"

namespace qm::cli {

volatile std::sig_atomic_t interrupted = 0;

namespace {

extern "C" void on_interrupt(int) { interrupted = 1; }

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
        if (active_) ::tcsetattr(fd_, TCSAFLUSH, &old_);
    }
    echo_off(const echo_off&) = delete;
    echo_off& operator=(const echo_off&) = delete;

private:
    int fd_;
    termios old_{};
    bool active_ = false;
};

bool read_secret_line(int fd, std::string& line) {
    line.reserve(4096);
    bool any = false;
    for (;;) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n == 1) {
            any = true;
            if (c == '\n') break;
            if (line.size() == line.capacity()) return false;  // no reallocation leaves a copy behind
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

}  // namespace

interrupt_guard::interrupt_guard() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &old_int_);
    ::sigaction(SIGTERM, &action, &old_term_);
}

interrupt_guard::~interrupt_guard() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
}

bool read_password(int fd, std::size_t limit, std::string& password) {
    std::string typed;
    bool got;
    {
        echo_off quiet(fd);
        got = read_secret_line(fd, typed);
    }
    if (!got) {
        wipe_password(typed);
        return false;
    }
    // Typed in UTF-8; the program's text, and what the window would send, is CP932.
    std::optional<std::string> converted = utf8_to_cp932(typed);
    std::string& chosen = converted ? *converted : typed;
    std::size_t kept = std::min(chosen.size(), limit);
    password.reserve(kept);
    password.assign(chosen, 0, kept);
    wipe_password(typed);
    if (converted) wipe_password(*converted);
    return true;
}

bool ask_terminal_password(std::string_view prompt, std::size_t limit, std::string& password) {
    std::fprintf(stderr, "%s ", terminal_text(prompt).c_str());
    std::fflush(stderr);
    bool got = read_password(STDIN_FILENO, limit, password);
    std::fputc('\n', stderr);  // the line end typed was not shown
    return got;
}

}  // namespace qm::cli
