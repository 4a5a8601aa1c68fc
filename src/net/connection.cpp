#include "net/connection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <system_error>

#include "base/find_nocase.h"
#include "net/client_name.h"
#include "net/result_codes.h"
#include "net/sigpipe_guard.h"
#include "net/smtp_auth_scan.h"

namespace qm {

namespace {

using clock = std::chrono::steady_clock;

constexpr int poll_slice_milliseconds = 10;
constexpr int socket_buffer_size = 65536;
// Room for everything the socket buffer may hold, so that one receive takes
// whatever has arrived.
constexpr std::size_t receive_buffer_size = 65536;

// Waits at most one slice for `events`; the events that came (0 when none).
short poll_slice(int socket, short events) {
    pollfd entry{socket, events, 0};
    if (::poll(&entry, 1, poll_slice_milliseconds) <= 0) return 0;  // EINTR counts as a slice
    return entry.revents;
}

std::string system_message(int error) { return std::generic_category().message(error); }

std::string openssl_message(std::string_view fallback) {
    unsigned long error = ERR_peek_last_error();
    const char* reason = error ? ERR_reason_error_string(error) : nullptr;
    return reason ? std::string(reason) : std::string(fallback);
}

bool is_ip_literal(const std::string& host) {
    in6_addr address;
    return inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

// Overwrites everything from `from` up to the line's last two characters (its CR LF).
void mask_from(std::string& line, std::size_t from) {
    for (std::size_t i = from; i + 2 < line.size(); ++i) line[i] = '*';
}

void mask_secret(std::string& line) {
    if (starts_with_nocase(line, "PASS ")) mask_from(line, 5);
    if (starts_with_nocase(line, "APOP ")) {
        std::size_t space = line.find(' ', 5);
        if (space != std::string::npos) mask_from(line, space + 1);
    }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The last line of an SMTP reply has a space after its code, or nothing at all.
bool is_last_smtp_line(std::string_view line) {
    if (line.size() >= 4 && line[3] == ' ') return true;
    if (line.size() < 3 || !is_digit(line[0]) || !is_digit(line[1]) || !is_digit(line[2])) return false;
    std::string_view rest = line.substr(3);
    return rest == "\r\n" || rest == "\n";
}

// An EHLO reply line "250-STARTTLS" or "250 STARTTLS" (any case).
bool offers_starttls(std::string_view line) {
    return line.size() >= 4 && equals_nocase(without_line_end(line.substr(4)), "STARTTLS");
}

// How a TLS read that returned nothing ended: the peer closed, or an error.
bool tls_peer_closed(int ssl_error) {
    if (ssl_error == SSL_ERROR_ZERO_RETURN) return true;
    unsigned long error = ERR_peek_error();
    if (ssl_error == SSL_ERROR_SYSCALL) return error == 0 && errno == 0;
    return ssl_error == SSL_ERROR_SSL && ERR_GET_REASON(error) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

}  // namespace

std::string_view without_line_end(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    return line;
}

connection::connection(bool trace) : trace_(trace), receive_buffer_(receive_buffer_size) {
    line_.reserve(reply_line_capacity);
    open_socket(AF_INET);
}

connection::~connection() {
    free_tls();
    close_socket();
}

bool connection::open_socket(int family) {
    close_socket();
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_detail_ = system_message(errno);
        return false;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &socket_buffer_size, sizeof socket_buffer_size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &socket_buffer_size, sizeof socket_buffer_size);
    // Commands and the end of a message's data are small writes that the
    // peer waits for; Nagle's delay would hold each of them back.
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socket_ = fd;
    family_ = family;
    used_ = false;
    return true;
}

void connection::close_socket() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

std::string connection::local_address_literal() const { return address_literal_of_socket(socket_); }

bool connection::is_open() const { return socket_ >= 0; }

void connection::set_verify_certificate(bool verify) { verify_ = verify; }

const std::string& connection::error_detail() const { return error_detail_; }

void connection::set_idle_timeout_for_testing(std::chrono::milliseconds timeout,
                                              std::chrono::milliseconds after_timeout) {
    idle_timeout_ = timeout;
    wait_after_timeout_ = after_timeout;
}

std::chrono::milliseconds connection::idle_limit() const {
    return timed_out_ ? std::min(idle_timeout_, wait_after_timeout_) : idle_timeout_;
}

net_result connection::connect_server(thread& job, std::string_view host, int port, bool wait_writable, bool ssl) {
    error_detail_.clear();
    if (!is_open()) return net_result::connect_failed;
    if (port <= 0 || port > 65535) {
        error_detail_ = "invalid port number";
        return net_result::connect_failed;
    }
    if (job.cancel_requested()) return net_result::cancelled;
    free_tls();
    buffered_ = 0;
    auto deadline = clock::now() + std::chrono::seconds(connect_timeout_seconds);

    // An address given as digits is used as it is; only a name is looked up.
    std::string host_text(host), port_text = std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    int lookup = ::getaddrinfo(host_text.c_str(), port_text.c_str(), &hints, &found);
    if (lookup != 0) {
        hints.ai_flags = AI_NUMERICSERV;
        lookup = ::getaddrinfo(host_text.c_str(), port_text.c_str(), &hints, &found);
    }
    if (lookup != 0) {
        error_detail_ = ::gai_strerror(lookup);
        return net_result::bad_host;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);

    net_result code = net_result::connect_failed;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        code = connect_address(job, address->ai_addr, address->ai_addrlen, address->ai_family, deadline);
        if (code == net_result::ok || code == net_result::cancelled) break;
    }
    if (code == net_result::ok) {
        error_detail_.clear();
        code = ssl ? handshake(job, host_text, deadline) : wait_for_greeting(job, wait_writable, deadline);
    }
    if (code == net_result::connect_failed) close_gently();
    return code;
}

net_result connection::connect_address(thread& job, const void* address, unsigned length, int family,
                                 clock::time_point deadline) {
    if ((family != family_ || used_) && !open_socket(family)) return net_result::connect_failed;
    used_ = true;
    if (::connect(socket_, static_cast<const sockaddr*>(address), length) == 0) return net_result::ok;
    if (errno != EINPROGRESS && errno != EINTR) {
        error_detail_ = system_message(errno);
        return net_result::connect_failed;
    }
    while (!poll_slice(socket_, POLLOUT)) {
        if (job.cancel_requested()) return net_result::cancelled;
        if (clock::now() >= deadline) {
            error_detail_ = "connection timed out";
            return net_result::connect_failed;
        }
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0) {
        error_detail_ = system_message(error);
        return net_result::connect_failed;
    }
    return net_result::ok;
}

// Both protocols start with the server's greeting: a plain connection is
// complete once the socket has something to read.
net_result connection::wait_for_greeting(thread& job, bool wait_writable, clock::time_point deadline) {
    short events = wait_writable ? POLLOUT : POLLIN;
    while (!poll_slice(socket_, events)) {
        if (job.cancel_requested()) return net_result::cancelled;
        if (clock::now() >= deadline) {
            error_detail_ = "the server did not answer";
            return net_result::connect_failed;
        }
    }
    return net_result::ok;
}

// Bytes the socket holds that nobody has read yet, without taking them.
bool connection::bytes_waiting() {
    char byte;
    for (;;) {
        ssize_t count = ::recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) continue;
        return count > 0;
    }
}

net_result connection::start_tls(thread& job, std::string_view host) {
    error_detail_.clear();
    if (!is_open()) return net_result::connect_failed;
    if (tls_) {
        error_detail_ = "the connection is already on TLS";
        return net_result::connect_failed;
    }
    // A server says nothing between its answer and our first handshake
    // message: anything here came from someone else, and read after the
    // upgrade it would pass for the server's replies.
    if (buffered_ != 0 || bytes_waiting()) {
        error_detail_ = "data arrived after the answer to the TLS upgrade, before the handshake";
        buffered_ = 0;
        return net_result::tls_injected;
    }
    auto deadline = clock::now() + std::chrono::seconds(connect_timeout_seconds);
    net_result code = handshake(job, host, deadline);
    // Nothing learnt on the plain connection is kept for the secure one.
    buffered_ = 0;
    read_position_ = 0;
    line_.clear();
    piece_.clear();
    return code;
}

void connection::set_error_detail(std::string_view detail) { error_detail_.assign(detail); }

net_result connection::handshake(thread& job, std::string_view host, clock::time_point deadline) {
    ERR_clear_error();
    context_ = SSL_CTX_new(TLS_client_method());
    if (!context_) {
        error_detail_ = openssl_message("cannot create the TLS context");
        return net_result::connect_failed;
    }
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (verify_) {
        SSL_CTX_set_default_verify_paths(context_);
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    }
    ssl_ = SSL_new(context_);
    if (!ssl_ || SSL_set_fd(ssl_, socket_) != 1) {
        error_detail_ = openssl_message("cannot create the TLS connection");
        free_tls();
        return net_result::connect_failed;
    }
    std::string name(host);
    bool address = is_ip_literal(name);
    if (!address) SSL_set_tlsext_host_name(ssl_, name.c_str());
    if (verify_) {
        X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl_);
        X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        bool checked = address ? X509_VERIFY_PARAM_set1_ip_asc(parameters, name.c_str()) == 1
                               : X509_VERIFY_PARAM_set1_host(parameters, name.c_str(), 0) == 1;
        if (!checked) {
            error_detail_ = "invalid server name for the certificate check";
            free_tls();
            return net_result::connect_failed;
        }
    }

    for (;;) {
        if (job.cancel_requested()) return net_result::cancelled;
        ERR_clear_error();
        errno = 0;
        int answer;
        {
            sigpipe_guard guard;
            answer = SSL_connect(ssl_);
        }
        if (answer == 1) break;
        int error = SSL_get_error(ssl_, answer);
        short events = error == SSL_ERROR_WANT_READ ? POLLIN : error == SSL_ERROR_WANT_WRITE ? POLLOUT : 0;
        if (!events) {
            long verified = SSL_get_verify_result(ssl_);
            if (verify_ && verified != X509_V_OK)
                error_detail_ = std::string("certificate verify failed: ") + X509_verify_cert_error_string(verified);
            else if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
                error_detail_ = errno ? system_message(errno) : "the server closed the connection during the TLS handshake";
            else
                error_detail_ = openssl_message("TLS handshake failed");
            free_tls();
            return net_result::connect_failed;
        }
        while (!poll_slice(socket_, events)) {
            if (job.cancel_requested()) return net_result::cancelled;
            if (clock::now() >= deadline) {
                error_detail_ = "TLS handshake timed out";
                free_tls();
                return net_result::connect_failed;
            }
        }
    }
    tls_ = true;
    return net_result::ok;
}

void connection::free_tls() {
    if (ssl_) SSL_free(ssl_);
    if (context_) SSL_CTX_free(context_);
    ssl_ = nullptr;
    context_ = nullptr;
    tls_ = false;
}

// Fills the empty receive buffer with whatever the socket has: 0, or 6, 7, 11.
net_result connection::receive_some(thread& job) {
    if (!is_open()) return net_result::receive_error;
    auto idle_deadline = clock::now() + idle_limit();
    for (;;) {
        if (job.cancel_requested()) {
            cancelled_ = true;
            return net_result::cancelled;
        }
        short events = POLLIN;
        if (tls_) {
            ERR_clear_error();
            errno = 0;
            int count;
            {
                sigpipe_guard guard;
                count = SSL_read(ssl_, receive_buffer_.data(), static_cast<int>(receive_buffer_.size()));
            }
            if (count > 0) {
                read_position_ = 0;
                buffered_ = static_cast<std::size_t>(count);
                return net_result::ok;
            }
            int error = SSL_get_error(ssl_, count);
            if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
            else if (error != SSL_ERROR_WANT_READ) return tls_peer_closed(error) ? net_result::closed : net_result::receive_error;
        } else {
            ssize_t count = ::recv(socket_, receive_buffer_.data(), receive_buffer_.size(), 0);
            if (count > 0) {
                read_position_ = 0;
                buffered_ = static_cast<std::size_t>(count);
                return net_result::ok;
            }
            if (count == 0) return net_result::closed;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return net_result::receive_error;
        }
        if (clock::now() >= idle_deadline) {
            timed_out_ = true;
            return net_result::receive_error;
        }
        poll_slice(socket_, events);
    }
}

net_result connection::read_line(thread& job, std::string& output, std::size_t capacity) {
    output.clear();
    if (capacity < 2) return net_result::receive_error;
    const std::size_t room = capacity - 1;
    for (;;) {
        if (buffered_) {
            const char* start = receive_buffer_.data() + read_position_;
            std::size_t wanted = std::min(buffered_, room - output.size());
            const void* line_feed = std::memchr(start, '\n', wanted);
            std::size_t taken = line_feed ? static_cast<const char*>(line_feed) - start + 1 : wanted;
            output.append(start, taken);
            read_position_ += taken;
            buffered_ -= taken;
            if (line_feed || output.size() == room) return net_result::ok;
        }
        net_result code = receive_some(job);
        if (code != net_result::ok) {
            output.clear();
            return code;
        }
    }
}

net_result connection::send_bytes(thread& job, std::string_view data) {
    if (data.empty()) return net_result::ok;
    if (!is_open()) return net_result::send_error;
    auto idle_deadline = clock::now() + idle_limit();
    std::size_t sent = 0;
    while (sent < data.size()) {
        if (job.cancel_requested()) {
            cancelled_ = true;
            return net_result::cancelled;
        }
        const char* rest = data.data() + sent;
        std::size_t rest_size = data.size() - sent;
        short events = POLLOUT;
        if (tls_) {
            ERR_clear_error();
            int count;
            {
                sigpipe_guard guard;
                count = SSL_write(ssl_, rest, static_cast<int>(std::min<std::size_t>(rest_size, INT_MAX)));
            }
            if (count > 0) {
                sent += static_cast<std::size_t>(count);
                idle_deadline = clock::now() + idle_limit();
                continue;
            }
            int error = SSL_get_error(ssl_, count);
            if (error == SSL_ERROR_WANT_READ) events = POLLIN;
            else if (error != SSL_ERROR_WANT_WRITE) return net_result::send_error;
        } else {
            ssize_t count = ::send(socket_, rest, rest_size, MSG_NOSIGNAL);
            if (count > 0) {
                sent += static_cast<std::size_t>(count);
                idle_deadline = clock::now() + idle_limit();
                continue;
            }
            if (count < 0 && errno == EINTR) continue;
            if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return net_result::send_error;
        }
        // A peer that takes nothing for as long as a silent one is waited for has gone.
        if (clock::now() >= idle_deadline) {
            timed_out_ = true;
            return net_result::send_error;
        }
        poll_slice(socket_, events);
    }
    return net_result::ok;
}

std::string& connection::line() { return line_; }

net_result connection::send_line(thread& job, bool show) {
    if (line_.size() > reply_line_capacity - 1) line_.resize(reply_line_capacity - 1);
    net_result code = send_bytes(job, line_);
    if (code != net_result::ok) return code;
    if (!show) return net_result::ok;
    // Masked whether or not the trace is on: no secret stays in the line buffer.
    mask_secret(line_);
    if (trace_) {
        prefix_ = "C: ";
        trace(job, line_);
    }
    return net_result::ok;
}

net_result connection::read_reply_line(thread& job, bool& complete) {
    net_result code = read_line(job, line_, reply_line_capacity);
    if (code != net_result::ok) return code;
    trace(job, line_);
    complete = line_.back() == '\n';
    return net_result::ok;
}

// The rest of a reply line longer than the line buffer is read and traced but
// not kept, so that the next reply starts where the server put it.
net_result connection::drop_rest_of_line(thread& job) {
    do {
        net_result code = read_line(job, piece_, reply_line_capacity);
        if (code != net_result::ok) return code;
        trace(job, piece_);
    } while (piece_.back() != '\n');
    return net_result::ok;
}

net_result connection::read_pop_reply(thread& job) {
    if (trace_) prefix_ = "S: ";
    bool complete = false;
    net_result code = read_reply_line(job, complete);
    if (code == net_result::ok && !complete) code = drop_rest_of_line(job);
    if (code != net_result::ok) return code;
    // Only "+OK" is a positive answer: a line that is neither (another
    // protocol's server on the port) must not pass for one.
    return line_[0] == '+' ? net_result::ok : net_result::error_reply;
}

net_result connection::read_smtp_reply(thread& job, int* mechanism, bool* starttls, std::string* auth_names) {
    if (trace_) prefix_ = "S: ";
    if (mechanism) *mechanism = 0;
    if (starttls) *starttls = false;
    if (auth_names) auth_names->clear();
    for (;;) {
        bool complete = false;
        net_result code = read_reply_line(job, complete);
        if (code != net_result::ok) return code;
        if (mechanism) scan_auth_line(line_, tls_, *mechanism);
        if (starttls && offers_starttls(line_)) *starttls = true;
        if (auth_names) auth_names->append(auth_line_names(line_)).append(" ");
        bool last = is_last_smtp_line(line_);
        if (!complete) {
            code = drop_rest_of_line(job);
            if (code != net_result::ok) return code;
        }
        if (last) break;
    }
    // Only a reply code (three digits) that begins with 1, 2 or 3 accepts: a
    // reply that does not begin with one ("2ok", "22x") is no success.
    const bool coded = line_.size() >= 3 && is_digit(line_[0]) && is_digit(line_[1]) && is_digit(line_[2]);
    return coded && line_[0] >= '1' && line_[0] <= '3' ? net_result::ok : net_result::error_reply;
}

void connection::close_gently(bool drain) {
    if (!is_open()) return;
    if (tls_) {
        ERR_clear_error();
        sigpipe_guard guard;
        SSL_shutdown(ssl_);  // close_notify before our side of the stream ends
    }
    ::shutdown(socket_, SHUT_WR);

    // Drain what the peer still sends until it closes, but never for long.
    auto deadline = clock::now() + std::chrono::milliseconds(close_drain_milliseconds);
    std::size_t drained = 0;
    while (drain && !cancelled_ && drained < close_drain_bytes && clock::now() < deadline) {
        short events = POLLIN;
        if (tls_) {
            ERR_clear_error();
            int count;
            {
                sigpipe_guard guard;
                count = SSL_read(ssl_, receive_buffer_.data(), static_cast<int>(receive_buffer_.size()));
            }
            if (count > 0) {
                drained += static_cast<std::size_t>(count);
                continue;
            }
            int error = SSL_get_error(ssl_, count);
            if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
            else if (error != SSL_ERROR_WANT_READ) break;
        } else {
            ssize_t count = ::recv(socket_, receive_buffer_.data(), receive_buffer_.size(), 0);
            if (count > 0) {
                drained += static_cast<std::size_t>(count);
                continue;
            }
            if (count == 0) break;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) break;
        }
        poll_slice(socket_, events);
    }
    buffered_ = 0;
    free_tls();
    ::shutdown(socket_, SHUT_RDWR);
}

bool connection::tracing() const { return trace_; }

void connection::set_trace_prefix(std::string_view prefix) { prefix_.assign(prefix); }

void connection::trace(thread& job, std::string_view text) {
    if (!trace_) return;
    std::string shown = prefix_;
    shown.append(text);
    job.show_trace(shown);
}

namespace {
constexpr int trace_first_column = 3;  // after the "S: " or "C: " of the transfer
constexpr int trace_wrap_column = 79;  // 76 dots to a row
}  // namespace

void connection::begin_transfer_trace(thread& job, std::string_view prefix) {
    prefix_.assign(prefix);
    trace_column_ = trace_first_column;
    if (trace_) job.show_trace(prefix_);
}

void connection::transfer_trace_dot(thread& job) {
    if (!trace_) return;
    if (++trace_column_ >= trace_wrap_column) {
        trace_column_ = trace_first_column;
        job.show_trace(".\r\n   ");
    } else {
        job.show_trace(".");
    }
}

void connection::end_transfer_trace(thread& job) {
    if (trace_) job.show_trace("\r\n");
    prefix_ = "?: ";
}

}  // namespace qm
