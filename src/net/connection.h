#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "net/job.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace qm {

inline constexpr std::size_t reply_line_capacity = 253;  // the line buffer: 252 characters
inline constexpr std::size_t message_read_capacity = 1001;
inline constexpr int idle_read_timeout_seconds = 120;  // a read with no byte for this long: 6
// Once a wait has timed out, the peer is as good as gone: what is still said
// (QUIT) waits at most this long.
inline constexpr int wait_after_timeout_seconds = 5;
inline constexpr int connect_timeout_seconds = 45;     // connection (and TLS handshake) at most
inline constexpr int close_drain_milliseconds = 2000;  // close_gently drains at most this long
inline constexpr std::size_t close_drain_bytes = 1 << 20;  // ... or this many bytes

// A reply line without its line end and trailing blanks.
std::string_view without_line_end(std::string_view line);

// One TCP connection, optionally TLS from the first byte, that turns the byte
// stream into lines. It is created, used and destroyed by one worker thread;
// every wait is a poll() of at most 10 ms that checks the job's cancel state.
class connection {
public:
    explicit connection(bool trace);
    ~connection();  // closes the socket
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;

    bool is_open() const;  // has a socket
    // "[127.0.0.1]", "[IPv6:::1]": the local end of the connection; empty when
    // there is none.
    std::string local_address_literal() const;

    // Certificate checks (chain against the system trust store, host name) are on
    // unless switched off for this connection before connect_server.
    void set_verify_certificate(bool verify);

    // 0, 4 (name not resolved) or 5 (refused, timed out, handshake failed);
    // 11 when the job is cancelled while waiting. Without TLS it waits for the
    // socket to become readable (the server's greeting), or writable when
    // wait_writable is set.
    net_result connect_server(thread& job, std::string_view host, int port, bool wait_writable, bool ssl);
    // Upgrades the open plain connection to TLS (after the server's positive
    // answer to STARTTLS or STLS), with the same checks as connect_server's
    // TLS. Whatever the server sent after that answer and before the
    // handshake (plain text an attacker may have slipped in) is never taken
    // for a reply: when any byte is waiting, nothing is sent and the result
    // is tls_injected. After the handshake nothing received or read before
    // it remains. 0, tls_injected, 5 (handshake or certificate check failed,
    // also when already on TLS) or 11.
    net_result start_tls(thread& job, std::string_view host);
    // Why the last connect or TLS handshake failed, for the message shown with
    // code 5 (e.g. "certificate verify failed: self-signed certificate"); empty
    // when unknown. The protocol clients set it for their own refusals.
    const std::string& error_detail() const;
    void set_error_detail(std::string_view detail);

    // One line (up to and with its line feed) or a piece of at most capacity - 1
    // bytes of a longer one: ok; receive_error when capacity is below 2 and for a
    // receive error or idle timeout; closed (a partial line is dropped); cancelled.
    net_result read_line(thread& job, std::string& output, std::size_t capacity);
    net_result send_bytes(thread& job, std::string_view data);  // 0, 8, 11

    // The command the clients build and the reply the readers leave (at most
    // reply_line_capacity - 1 bytes are sent or kept).
    std::string& line();
    // Sends line(); with show set, masks the argument of PASS and the digest of
    // APOP in line() after sending and traces the line.
    net_result send_line(thread& job, bool show);
    net_result read_pop_reply(thread& job);  // 0, 12 or a read_line code
    // A whole (multi-line) reply; line() keeps its last line. With a mechanism
    // output, it is set to 0 and each line goes through scan_auth_line.
    // With `starttls`, it is set to whether a line offers STARTTLS; with
    // `auth_names`, to the mechanism names of its AUTH lines.
    net_result read_smtp_reply(thread& job, int* mechanism, bool* starttls = nullptr,
                               std::string* auth_names = nullptr);
    // TLS shutdown, then a bounded drain of what the peer still sends, then
    // shutdown(SHUT_RDWR). Without `drain`, and after a step of the
    // connection ended in a cancel (the user is waiting), the connection is
    // closed at once.
    void close_gently(bool drain = true);

    // The protocol trace: whether it is on, and the prefix ("?: ", "C: ", "S: ")
    // shown before the next traced text; trace(job, text) shows prefix + text
    // when tracing is on.
    bool tracing() const;
    void set_trace_prefix(std::string_view prefix);
    void trace(thread& job, std::string_view text);
    // Data transfers: the prefix on its own, then one "." per line or chunk with
    // "\r\n   " after every 76 dots, and "\r\n" at the end (prefix back to "?: ").
    void begin_transfer_trace(thread& job, std::string_view prefix);
    void transfer_trace_dot(thread& job);
    void end_transfer_trace(thread& job);

    // Tests only: a shorter idle read timeout than idle_read_timeout_seconds
    // and wait after a timeout than wait_after_timeout_seconds.
    void set_idle_timeout_for_testing(std::chrono::milliseconds timeout,
                                      std::chrono::milliseconds after_timeout = std::chrono::seconds(
                                          wait_after_timeout_seconds));

private:
    bool open_socket(int family);
    void close_socket();
    net_result connect_address(thread& job, const void* address, unsigned length, int family,
                        std::chrono::steady_clock::time_point deadline);
    net_result wait_for_greeting(thread& job, bool wait_writable,
                          std::chrono::steady_clock::time_point deadline);
    net_result handshake(thread& job, std::string_view host, std::chrono::steady_clock::time_point deadline);
    bool bytes_waiting();
    void free_tls();
    net_result receive_some(thread& job);
    net_result read_reply_line(thread& job, bool& complete);
    net_result drop_rest_of_line(thread& job);
    // How long a read or send may wait for the peer.
    std::chrono::milliseconds idle_limit() const;

    int socket_ = -1;
    int family_ = 0;
    bool used_ = false;  // a connect was tried on the socket: a new attempt needs a fresh one
    bool trace_ = false;
    bool verify_ = true;
    bool tls_ = false;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string error_detail_;
    std::vector<char> receive_buffer_;
    std::size_t read_position_ = 0;
    std::size_t buffered_ = 0;
    std::string prefix_ = "?: ";
    std::string line_;
    std::string piece_;
    int trace_column_ = 3;
    std::chrono::milliseconds idle_timeout_{std::chrono::seconds(idle_read_timeout_seconds)};
    std::chrono::milliseconds wait_after_timeout_{std::chrono::seconds(wait_after_timeout_seconds)};
    bool timed_out_ = false;  // a read or send waited in vain for idle_timeout_
    bool cancelled_ = false;  // a step ended because the job was cancelled
};

}  // namespace qm
