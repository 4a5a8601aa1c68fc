#include "app/ending_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {

// The pipe's two ends: the handler writes into [0], the loop reads [1].
int signal_pipe[2] = {-1, -1};

void on_signal(int) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] ssize_t written = ::write(signal_pipe[0], &byte, 1);
    errno = saved;
}

constexpr int ending_signal_numbers[] = {SIGTERM, SIGHUP};

}  // namespace

ending_signals::ending_signals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signal_pipe) != 0) return;
    notifier_ = new QSocketNotifier(signal_pipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signal_pipe[1], bytes, sizeof bytes) > 0) {
        }
        emit ending();
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : ending_signal_numbers) ::sigaction(number, &action, nullptr);
}

ending_signals::~ending_signals() {
    for (int number : ending_signal_numbers) std::signal(number, SIG_DFL);
    for (int& end : signal_pipe) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

}  // namespace qm
