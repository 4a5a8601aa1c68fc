#pragma once

#include <csignal>
#include <string>

namespace qm::cli {

// Set by Ctrl-C and SIGTERM while an interrupt_guard is alive.
extern volatile std::sig_atomic_t interrupted;

// Ctrl-C and SIGTERM set `interrupted` instead of killing the process (for
// example between a download and its filing). Without SA_RESTART, so that a
// password prompt gives up too.
class interrupt_guard {
public:
    interrupt_guard();
    ~interrupt_guard();
    interrupt_guard(const interrupt_guard&) = delete;
    interrupt_guard& operator=(const interrupt_guard&) = delete;

private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

// Reads a password typed on the terminal (echo off) or a line from the file
// descriptor, byte by byte, so that no buffer of the C library keeps a copy;
// a final CR is dropped. The result is the program's text (CP932) when the
// typed UTF-8 has such a form, at most `limit` bytes. False at the end of
// the input before anything was typed, after an error, or when interrupted;
// every intermediate copy is overwritten with '*'.
bool read_password(int fd, std::size_t limit, std::string& password);

// Shows the prompt (CP932) on stderr and reads the password from the
// terminal on standard input.
bool ask_terminal_password(std::string_view prompt, std::size_t limit, std::string& password);

}  // namespace qm::cli
