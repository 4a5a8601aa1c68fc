#include "support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "net/sigpipe_guard.h"

namespace qm::test {

// The worker uses blocking sockets; the destructor ends its waits by shutting them down.
struct script_server::state {
    std::vector<std::function<bool()>> steps;  // false: stop playing
    int listener = -1, client = -1, port = 0;
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    std::string unread;  // received bytes no step has taken yet
    std::thread worker;

    // Shared with the test's thread.
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool done = false, stopped = false;
    std::vector<std::string> failures, data;
    std::string received;

    // For each read, and for the client to come.
    static void set_timeout(int fd) {
        timeval limit{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }

    template <class value>
    value locked(const value& member) const {
        std::lock_guard lock(mutex);
        return member;
    }

    // Records a failure; false, so that a step may end with it.
    bool fail(std::string text) {
        std::lock_guard lock(mutex);
        if (!stopped) failures.push_back(std::move(text));  // once stopped, the test is over
        return false;
    }

    bool read_some() {
        char buffer[4096];
        sigpipe_guard guard;
        long count = ssl ? SSL_read(ssl, buffer, sizeof buffer) : ::recv(client, buffer, sizeof buffer, 0);
        if (count <= 0) return false;
        unread.append(buffer, static_cast<std::size_t>(count));
        std::lock_guard lock(mutex);
        received.append(buffer, static_cast<std::size_t>(count));
        return true;
    }

    // Takes everything up to and with `mark`.
    bool read_until(std::string_view mark, std::string& taken, const char* what) {
        std::size_t end;
        while ((end = unread.find(mark)) == std::string::npos)
            if (!read_some()) return fail(std::string("no ") + what + " from the client");
        taken = unread.substr(0, end + mark.size());
        unread.erase(0, end + mark.size());
        return true;
    }

    bool send_all(const std::string& bytes) {
        sigpipe_guard guard;
        bool sent = ssl ? SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size())
                        : ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<long>(bytes.size());
        return sent || fail("send failed");
    }

    bool accept_client() {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex);
        if (fd < 0 || stopped) {
            if (fd >= 0) ::close(fd);
            else if (!stopped) failures.push_back("no connection");
            return false;
        }
        client = fd;
        int on = 1;  // every send its own segment
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        set_timeout(client);
        return true;
    }

    bool accept_tls(const tls_identity& identity, bool must_succeed) {
        if (!context) context = SSL_CTX_new(TLS_server_method());
        ssl = context && SSL_CTX_use_certificate_chain_file(context, identity.certificate_file.c_str()) == 1 &&
                      SSL_CTX_use_PrivateKey_file(context, identity.key_file.c_str(), SSL_FILETYPE_PEM) == 1
                  ? SSL_new(context)
                  : nullptr;
        ERR_clear_error();
        sigpipe_guard guard;
        if (ssl && SSL_set_fd(ssl, client) == 1 && SSL_accept(ssl) == 1) return true;
        const char* reason = ERR_reason_error_string(ERR_peek_last_error());
        if (must_succeed) fail(std::string("TLS handshake failed: ") + (reason ? reason : "no answer"));
        std::lock_guard lock(mutex);  // the connection is dropped
        SSL_free(ssl);
        ssl = nullptr;
        ::close(client);
        client = -1;
        return false;
    }

    void run() {
        if (accept_client()) std::ranges::all_of(steps, [](const auto& step) { return step(); });  // up to one that ends it
        std::unique_lock lock(mutex);
        done = true;
        changed.notify_all();
        lock.unlock();
        while (client >= 0 && read_some()) continue;
        lock.lock();
        changed.wait(lock, [this] { return stopped; });
    }
};

script_server::script_server() : state_(std::make_unique<state>()) {
    int listener = state_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (listener < 0 || ::bind(listener, raw, size) != 0 || ::listen(listener, 4) != 0 || ::getsockname(listener, raw, &size) != 0)
        throw std::runtime_error("script_server: cannot listen on 127.0.0.1");
    state::set_timeout(listener);
    state_->port = ntohs(address.sin_port);
}

script_server::~script_server() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopped = true;
        for (int fd : {state_->listener, state_->client})
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    }
    state_->changed.notify_all();
    if (state_->worker.joinable()) state_->worker.join();
    SSL_free(state_->ssl);
    SSL_CTX_free(state_->context);
    for (int fd : {state_->client, state_->listener})
        if (fd >= 0) ::close(fd);
}

int script_server::port() const { return state_->port; }

script_server& script_server::send(std::string bytes) {
    state_->steps.push_back([s = state_.get(), bytes = std::move(bytes)] { return s->send_all(bytes); });
    return *this;
}

script_server& script_server::expect(std::string line) {
    state_->steps.push_back([s = state_.get(), line = std::move(line)] {
        std::string taken;
        if (!s->read_until("\n", taken, "line")) return false;
        while (!taken.empty() && (taken.back() == '\n' || taken.back() == '\r')) taken.pop_back();
        if (taken != line) s->fail("expected \"" + line + "\", got \"" + taken + "\"");
        return true;
    });
    return *this;
}

script_server& script_server::exchange(const exchange_list& commands_and_replies) {
    for (const auto& [command, reply] : commands_and_replies) expect(command).send(reply);
    return *this;
}

script_server& script_server::receive_data() {
    state_->steps.push_back([s = state_.get()] {
        std::string taken;
        if (!s->read_until("\r\n.\r\n", taken, "end of the data")) return false;
        std::lock_guard lock(s->mutex);
        s->data.push_back(taken);
        return true;
    });
    return *this;
}

script_server& script_server::pause(milliseconds time) {
    state_->steps.push_back([s = state_.get(), time] {
        std::unique_lock lock(s->mutex);
        return !s->changed.wait_for(lock, time, [s] { return s->stopped; });
    });
    return *this;
}

script_server& script_server::close() {
    state_->steps.push_back([s = state_.get()] {
        sigpipe_guard guard;
        if (s->ssl) SSL_shutdown(s->ssl);
        ::shutdown(s->client, SHUT_WR);  // no reset: open until the client closes too
        return true;
    });
    return *this;
}

script_server& script_server::start_tls(const tls_identity& tls, bool must_succeed) {
    state_->steps.push_back([s = state_.get(), tls, must_succeed] {
        if (!s->unread.empty()) s->fail("the client sent \"" + s->unread + "\" before the TLS handshake");
        return s->accept_tls(tls, must_succeed);
    });
    return *this;
}

void script_server::start() {
    state_->worker = std::thread([this] { state_->run(); });
}

bool script_server::wait_done(milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [this] { return state_->done; });
}

::testing::AssertionResult script_server::played(milliseconds timeout) {
    bool done = wait_done(timeout);
    std::vector<std::string> failed = failures();
    auto result = done && failed.empty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
    if (!done) result << "the script was not played to its end\n";
    for (const std::string& failure : failed) result << failure << "\n";
    return result;
}

std::vector<std::string> script_server::failures() const { return state_->locked(state_->failures); }
std::vector<std::string> script_server::data_received() const { return state_->locked(state_->data); }
std::string script_server::received() const { return state_->locked(state_->received); }

}  // namespace qm::test
