#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/test_certificates.h"

namespace qm::test {

// A scripted server for protocol tests: it listens on 127.0.0.1 (a port the
// kernel chooses), accepts one connection on its own thread and plays its
// steps in order. After the last step it keeps the connection open until it
// is destroyed. Everything the client sent is recorded.
//
//   script_server server;
//   server.send("+OK ready\r\n").expect("USER alice").send("+OK\r\n").close();
//   server.start();
//   ... connect a client to 127.0.0.1:server.port() ...
//   EXPECT_TRUE(server.wait_done());
//   EXPECT_EQ(server.failures(), std::vector<std::string>{});
class script_server {
public:
    using milliseconds = std::chrono::milliseconds;

    script_server();                                 // plain TCP
    explicit script_server(const tls_identity& tls);  // TLS from the first byte
    ~script_server();                                // stops the script and joins its thread
    script_server(const script_server&) = delete;
    script_server& operator=(const script_server&) = delete;

    int port() const;

    // Steps, added before start().
    script_server& send(std::string bytes);
    // Sends each chunk on its own, pausing between them, so that they reach the
    // client as separate TCP segments (TLS: separate records).
    script_server& send_split(std::vector<std::string> chunks, milliseconds pause = milliseconds(30));
    // Reads the next line the client sends and compares it, without its CR LF,
    // with `line`; a mismatch is recorded in failures().
    script_server& expect(std::string line);
    // Reads the message data the client sends after a positive answer to
    // DATA, up to and including the end mark CR LF "." CR LF; the bytes, as
    // sent, are kept in data_received().
    script_server& receive_data();
    script_server& pause(milliseconds time);
    script_server& close();           // closes the connection (TLS: close_notify first)
    script_server& reset();           // drops the connection at once (TCP reset)

    void start();
    // Waits until every step has been played; false when `timeout` passed first.
    bool wait_done(milliseconds timeout = milliseconds(10000));

    // Mismatches and errors in the order they happened ("expected ..., got ...",
    // "no connection", "TLS handshake failed: ...").
    std::vector<std::string> failures() const;
    std::string received() const;             // every byte the client sent
    std::vector<std::string> data_received() const;  // one entry per receive_data step

    // How long expect and the wait for the client's connection may take before
    // a failure is recorded and the script ends.
    static constexpr milliseconds step_timeout{10000};

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace qm::test
