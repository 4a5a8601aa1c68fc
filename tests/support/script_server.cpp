#include "support/script_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "net/sigpipe_guard.h"

namespace qm::test {

namespace {

using clock = std::chrono::steady_clock;

enum class step_kind { send, expect, data, pause, close, reset };

constexpr std::string_view end_of_data = "\r\n.\r\n";

struct step {
    step_kind kind;
    std::string text;
    std::chrono::milliseconds time{0};
};

std::string without_line_end(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

// An OpenSSL call that may write to a socket whose peer has gone.
template <class call>
int guarded(call action) {
    sigpipe_guard guard;
    ERR_clear_error();
    return action();
}

}  // namespace

struct script_server::state {
    std::optional<tls_identity> tls;
    std::vector<step> steps;
    int listener = -1;
    int port = 0;
    int stop_pipe[2] = {-1, -1};
    std::thread worker;

    // Results, shared with the test's thread.
    mutable std::mutex mutex;
    std::condition_variable done_changed;
    bool done = false;
    std::vector<std::string> failures;
    std::string received;
    std::vector<std::string> data;

    // The connection, used by the worker only: the socket, read and written
    // through a BIO that is a TLS filter over it when speaking TLS.
    int client = -1;
    SSL_CTX* context = nullptr;
    BIO* io = nullptr;
    std::string unread;  // received bytes not yet taken as a line
    bool stopped = false;

    script_server& add(script_server& server, step_kind kind, std::string text = {},
                       std::chrono::milliseconds time = {}) {
        steps.push_back(step{kind, std::move(text), time});
        return server;
    }

    void fail(std::string text) {
        if (stopped) return;  // the test is over: nothing to report
        std::lock_guard lock(mutex);
        failures.push_back(std::move(text));
    }

    // Waits until the socket has `events` (socket -1: only the deadline and the
    // stop count); false when the deadline passes or the server is stopped.
    bool wait(int socket, short events, clock::time_point deadline) {
        for (;;) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            if (left.count() <= 0) return false;
            pollfd entries[2] = {{stop_pipe[0], POLLIN, 0}, {socket, events, 0}};
            int timeout = static_cast<int>(std::min<long long>(left.count(), 1000));
            if (::poll(entries, socket >= 0 ? 2 : 1, timeout) < 0 && errno != EINTR) return false;
            if (entries[0].revents) {
                stopped = true;
                return false;
            }
            if (socket >= 0 && entries[1].revents) return true;
        }
    }

    // After a BIO call that must be retried: waits for what it needs.
    bool wait_retry(clock::time_point deadline) {
        return BIO_should_retry(io) && wait(client, BIO_should_write(io) ? POLLOUT : POLLIN, deadline);
    }

    bool accept_client() {
        if (!wait(listener, POLLIN, clock::now() + step_timeout)) {
            fail("no connection");
            return false;
        }
        client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) {
            fail("accept failed");
            return false;
        }
        int on = 1;  // every send its own segment
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        io = BIO_new_socket(client, BIO_NOCLOSE);
        return !tls || handshake();
    }

    bool handshake() {
        context = SSL_CTX_new(TLS_server_method());
        if (!context || SSL_CTX_use_certificate_chain_file(context, tls->certificate_file.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, tls->key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
            fail("TLS set-up failed");
            return false;
        }
        io = BIO_push(BIO_new_ssl(context, 0), io);
        auto deadline = clock::now() + step_timeout;
        while (guarded([&] { return BIO_do_handshake(io); }) != 1) {
            if (!wait_retry(deadline)) {
                unsigned long error = ERR_peek_last_error();
                const char* reason = error ? ERR_reason_error_string(error) : nullptr;
                fail(std::string("TLS handshake failed: ") + (reason ? reason : "no answer"));
                drop_connection(false);
                return false;
            }
        }
        return true;
    }

    // Some bytes from the client: their count, 0 when it closed, -1 on a
    // timeout or a stop.
    long read_some(char* buffer, std::size_t size, clock::time_point deadline) {
        while (io) {
            int count = guarded([&] { return BIO_read(io, buffer, static_cast<int>(size)); });
            if (count > 0) {
                std::lock_guard lock(mutex);
                received.append(buffer, static_cast<std::size_t>(count));
                return count;
            }
            if (!BIO_should_retry(io)) return 0;
            if (!wait_retry(deadline)) return -1;
        }
        return -1;
    }

    bool read_line(std::string& line) {
        auto deadline = clock::now() + step_timeout;
        char buffer[4096];
        std::size_t end;
        while ((end = unread.find('\n')) == std::string::npos) {
            long count = read_some(buffer, sizeof buffer, deadline);
            if (count <= 0) {
                fail(count == 0 ? "the client closed before a line" : "no line from the client");
                return false;
            }
            unread.append(buffer, static_cast<std::size_t>(count));
        }
        line = without_line_end(unread.substr(0, end + 1));
        unread.erase(0, end + 1);
        return true;
    }

    bool read_data() {
        auto deadline = clock::now() + step_timeout;
        char buffer[4096];
        std::size_t end;
        while ((end = unread.find(end_of_data)) == std::string::npos) {
            long count = read_some(buffer, sizeof buffer, deadline);
            if (count <= 0) {
                fail(count == 0 ? "the client closed before the end of the data" : "no end of the data");
                return false;
            }
            unread.append(buffer, static_cast<std::size_t>(count));
        }
        end += end_of_data.size();
        {
            std::lock_guard lock(mutex);
            data.push_back(unread.substr(0, end));
        }
        unread.erase(0, end);
        return true;
    }

    bool send_all(const std::string& bytes) {
        auto deadline = clock::now() + step_timeout;
        for (std::size_t sent = 0; sent < bytes.size();) {
            int count = guarded([&] {
                return io ? BIO_write(io, bytes.data() + sent, static_cast<int>(bytes.size() - sent)) : -1;
            });
            if (count > 0) {
                sent += static_cast<std::size_t>(count);
            } else if (!io || !wait_retry(deadline)) {
                fail("send failed");
                return false;
            }
        }
        return true;
    }

    // Ends our side of the stream. The socket stays open until the client has
    // closed too, so that bytes it still sends never turn the close into a reset.
    void close_sending() {
        if (tls && io) guarded([&] {
            BIO_ssl_shutdown(io);
            return 1;
        });
        ::shutdown(client, SHUT_WR);
    }

    void drop_connection(bool reset) {
        if (reset) {
            linger abort{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        BIO_free_all(io);
        io = nullptr;
        ::close(client);
        client = -1;
    }

    bool play(const step& current) {
        std::string line;
        switch (current.kind) {
        case step_kind::send:
            return send_all(current.text);
        case step_kind::expect:
            if (!read_line(line)) return false;
            if (line != current.text) fail("expected \"" + current.text + "\", got \"" + line + "\"");
            return true;
        case step_kind::data:
            return read_data();
        case step_kind::pause:
            wait(-1, 0, clock::now() + current.time);
            return !stopped;
        case step_kind::close:
            close_sending();
            return true;
        case step_kind::reset:
            drop_connection(true);
            return true;
        }
        return false;
    }

    void run() {
        if (accept_client())
            for (const auto& current : steps)
                if (!play(current)) break;
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        done_changed.notify_all();
        // Keep the connection, taking what the client still sends, until stopped.
        char buffer[4096];
        while (read_some(buffer, sizeof buffer, clock::time_point::max()) > 0) {
        }
        wait(-1, 0, clock::time_point::max());
    }
};

script_server::script_server() : state_(std::make_unique<state>()) {
    if (::pipe2(state_->stop_pipe, O_CLOEXEC) != 0) throw std::runtime_error("script_server: pipe failed");
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    state_->listener = listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("script_server: cannot listen on 127.0.0.1");
    state_->port = ntohs(address.sin_port);
}

script_server::script_server(const tls_identity& tls) : script_server() { state_->tls = tls; }

script_server::~script_server() {
    if (state_->worker.joinable()) {
        char stop = 1;
        [[maybe_unused]] auto written = ::write(state_->stop_pipe[1], &stop, 1);
        state_->worker.join();
    }
    BIO_free_all(state_->io);
    SSL_CTX_free(state_->context);
    for (int fd : {state_->client, state_->listener, state_->stop_pipe[0], state_->stop_pipe[1]})
        if (fd >= 0) ::close(fd);
}

int script_server::port() const { return state_->port; }

script_server& script_server::send(std::string bytes) {
    return state_->add(*this, step_kind::send, std::move(bytes));
}

script_server& script_server::send_split(std::vector<std::string> chunks, milliseconds pause_time) {
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (i) pause(pause_time);
        send(std::move(chunks[i]));
    }
    return *this;
}

script_server& script_server::expect(std::string line) { return state_->add(*this, step_kind::expect, std::move(line)); }
script_server& script_server::receive_data() { return state_->add(*this, step_kind::data); }
script_server& script_server::pause(milliseconds time) { return state_->add(*this, step_kind::pause, {}, time); }
script_server& script_server::close() { return state_->add(*this, step_kind::close); }
script_server& script_server::reset() { return state_->add(*this, step_kind::reset); }

void script_server::start() {
    state_->worker = std::thread([this] { state_->run(); });
}

bool script_server::wait_done(milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    return state_->done_changed.wait_for(lock, timeout, [this] { return state_->done; });
}

std::vector<std::string> script_server::failures() const {
    std::lock_guard lock(state_->mutex);
    return state_->failures;
}

std::vector<std::string> script_server::data_received() const {
    std::lock_guard lock(state_->mutex);
    return state_->data;
}

std::string script_server::received() const {
    std::lock_guard lock(state_->mutex);
    return state_->received;
}

}  // namespace qm::test
