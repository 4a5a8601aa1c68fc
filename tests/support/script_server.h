#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/test_certificates.h"

namespace qm::test {

using exchange_list = std::vector<std::pair<std::string, std::string>>;  // command, reply

// A scripted server on 127.0.0.1 (a port the kernel chooses): it accepts one
// connection on its own thread and plays its steps in order, then keeps the
// connection open until it is destroyed. Everything the client sent is recorded.
class script_server {
public:
    using milliseconds = std::chrono::milliseconds;

    script_server();  // plain TCP on 127.0.0.1
    ~script_server();

    int port() const;

    // Steps, added before start(). Each send is a TCP segment (TLS: a record) of its own.
    script_server& send(std::string bytes);
    // The client's next line, without its CR LF, must be `line` (else a failure is recorded).
    script_server& expect(std::string line);
    script_server& exchange(const exchange_list& commands_and_replies);
    // Takes the message data, up to and with CR LF "." CR LF, into data_received().
    script_server& receive_data();
    script_server& pause(milliseconds time);
    script_server& close();  // after TLS: close_notify first; open until the client closes
    // The TLS handshake on the plain connection (after a positive answer to
    // STARTTLS or STLS); the steps after it go over TLS. A handshake that
    // fails ends the script, and is recorded as a failure only when `must_succeed`.
    script_server& start_tls(const tls_identity& tls, bool must_succeed = true);

    void start();
    bool wait_done(milliseconds timeout = milliseconds(10000));  // every step played
    // Every step played without a mismatch or an error.
    ::testing::AssertionResult played(milliseconds timeout = milliseconds(10000));

    std::vector<std::string> failures() const;
    std::string received() const;
    std::vector<std::string> data_received() const;

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace qm::test
