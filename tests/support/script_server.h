#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/test_certificates.h"

namespace qm::test {

// A scripted server for protocol tests: it listens on 127.0.0.1 (a port the
// kernel chooses), accepts one connection on its own thread and plays its
// steps in order. After the last step it keeps the connection open until it
// is destroyed. Everything the client sent is recorded.
class script_server {
public:
    using milliseconds = std::chrono::milliseconds;

    script_server();                                  // plain TCP
    explicit script_server(const tls_identity& tls);  // TLS from the first byte
    ~script_server();                                 // stops the script and joins its thread
    script_server(const script_server&) = delete;
    script_server& operator=(const script_server&) = delete;

    int port() const;

    // Steps, added before start(). Each send goes out as a TCP segment (TLS:
    // a record) of its own.
    script_server& send(std::string bytes);
    // Reads the next line the client sends and compares it, without its CR LF,
    // with `line`; a mismatch is recorded in failures().
    script_server& expect(std::string line);
    // expect(command).send(reply) for each pair, in order.
    script_server& exchange(const std::vector<std::pair<std::string, std::string>>& commands_and_replies);
    // Reads the message data the client sends after a positive answer to
    // DATA, up to and including the end mark CR LF "." CR LF, into data_received().
    script_server& receive_data();
    script_server& pause(milliseconds time);
    script_server& close();  // closes the connection (TLS: close_notify first)
    script_server& reset();  // drops the connection at once (TCP reset)

    void start();
    // Waits until every step has been played; false when `timeout` passed first.
    bool wait_done(milliseconds timeout = milliseconds(10000));

    std::vector<std::string> failures() const;  // mismatches and errors, in order
    std::string received() const;                    // every byte the client sent
    std::vector<std::string> data_received() const;  // one entry per receive_data step

    // How long a read or the wait for the client may take before the script fails.
    static constexpr milliseconds step_timeout{10000};

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace qm::test
