#pragma once

#include <signal.h>

namespace qm {

// Keeps a write to a socket whose peer has gone from raising SIGPIPE in this
// thread, for the calls (OpenSSL's) that cannot pass MSG_NOSIGNAL. The signal
// is blocked for the guard's lifetime and a SIGPIPE raised meanwhile is
// consumed; the process's signal handling is left alone.
class sigpipe_guard {
public:
    sigpipe_guard() {
        sigemptyset(&pipe_only_);
        sigaddset(&pipe_only_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        pending_before_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_only_, &previous_);
    }
    ~sigpipe_guard() {
        if (!pending_before_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec no_wait{};
                sigtimedwait(&pipe_only_, nullptr, &no_wait);
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    sigpipe_guard(const sigpipe_guard&) = delete;
    sigpipe_guard& operator=(const sigpipe_guard&) = delete;

private:
    sigset_t pipe_only_;
    sigset_t previous_;
    bool pending_before_ = false;
};

}  // namespace qm
