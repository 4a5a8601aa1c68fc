#include <atomic>
#include <chrono>
#include <thread>

#include "net/connection.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

// A connection from the test's own thread (the job never starts) to a scripted server, which it starts.
struct client {
    net_result open(script_server& server, bool ssl = false, const char* host = "127.0.0.1") {
        server.start();
        return link.connect_server(job, host, server.port(), false, ssl);
    }
    net_result read(std::size_t capacity = reply_line_capacity) { return link.read_line(job, line, capacity); }

    function_job job{[](thread&) { return net_result::ok; }};
    connection link{false};
    std::string line;
};

TEST(Transport, ReadLineAssemblesSegmentsAndSplitsThemIntoLines) {
    const std::string long_line = std::string(298, 'x') + "\r\n";
    struct { const char* name; names chunks; std::size_t capacity; names lines; } cases[] = {
        {"one reply over three segments", {"+OK hel", "lo wor", "ld\r\n"}, 253, {"+OK hello world\r\n"}},
        {"a 300-byte line as 252 + 48", {long_line}, 253, {long_line.substr(0, 252), long_line.substr(252)}},
        {"line feed only", {"a\nb\n"}, 253, {"a\n", "b\n"}},
        {"capacity 2 gives single bytes", {"ab\n"}, 2, {"a", "b", "\n"}},
        {"closed mid-line: the partial line is dropped", {"+OK done\r\n+OK part"}, 253, {"+OK done\r\n"}},
    };
    for (const auto& c : cases) {
        script_server server;
        for (const std::string& chunk : c.chunks) server.send(chunk).pause(20ms);
        client to;
        ASSERT_EQ(to.open(server.close()), net_result::ok) << c.name;
        names read;
        net_result code;
        while ((code = to.read(c.capacity)) == net_result::ok) read.push_back(to.line);
        EXPECT_EQ(read, c.lines) << c.name;
        EXPECT_EQ(code, net_result::closed) << c.name;
        EXPECT_EQ(server.failures(), names{}) << c.name;
    }
    client unconnected;
    EXPECT_EQ(unconnected.read(1), net_result::receive_error);  // a capacity below two
    EXPECT_EQ(unconnected.read(0), net_result::receive_error);
}

TEST(Transport, RepliesAreReadAsWholeRepliesWithTheirCodes) {
    const std::string long_reply = "250 " + std::string(300, 'x') + "\r\n";
    const std::string long_pop_reply = "+OK " + std::string(300, 'x') + "\r\n";
    struct { const char* name; const char* script; bool smtp; net_result code; std::string line; } cases[] = {
        {"no POP3 status (an IMAP server)", "* OK ready\r\n", false, net_result::error_reply, "* OK ready\r\n"},
        {"SMTP error reply", "550-no such user\r\n550 bye\r\n", true, net_result::error_reply, "550 bye\r\n"},
        {"SMTP reply of a bare code", "250\r\n", true, net_result::ok, "250\r\n"},
        {"SMTP reply cut short by the server", "250-first\r\n", true, net_result::closed, ""},
        {"POP3 reply longer than the line buffer", long_pop_reply.c_str(), false, net_result::ok,
         long_pop_reply.substr(0, 252)},
        {"SMTP reply longer than the line buffer", long_reply.c_str(), true, net_result::ok, long_reply.substr(0, 252)},
    };
    for (const auto& c : cases) {
        script_server server;
        server.send(c.script);
        if (c.code != net_result::closed) server.send("+OK next\r\n");
        client to;
        ASSERT_EQ(to.open(server.close()), net_result::ok) << c.name;
        EXPECT_EQ(c.smtp ? to.link.read_smtp_reply(to.job, nullptr) : to.link.read_pop_reply(to.job), c.code)
            << c.name;
        EXPECT_EQ(to.link.line(), c.line) << c.name;
        if (c.code == net_result::closed) continue;
        EXPECT_EQ(to.link.read_pop_reply(to.job), net_result::ok) << c.name;
        EXPECT_EQ(to.link.line(), "+OK next\r\n") << c.name;
    }
}

TEST(Transport, SendLineMasksSecretsAndTheTraceShowsTheDialogue) {
    for (bool trace : {true, false}) {
        const names commands = {"USER alice", "PASS secret", "pass other",
                                "APOP alice c4c9334bac560ecc979e58001b3e22fb", "PASS hidden"};
        script_server server;
        server.send("+OK ready\r\n");
        for (const std::string& command : commands) server.expect(command);
        server.send("+OK\r\n").close().start();
        names after_sending;
        auto outcome = run_connected({.port = server.port(), .trace = trace}, [&](connection& link, thread& job) {
            if (net_result code = link.read_pop_reply(job); code != net_result::ok) return code;
            for (const std::string& command : commands) {
                link.line() = command + "\r\n";
                // The last is sent without being shown: neither traced nor masked.
                if (net_result code = link.send_line(job, after_sending.size() < 4); code != net_result::ok) return code;
                after_sending.push_back(link.line());
            }
            link.begin_transfer_trace(job, "S: ");
            for (int i = 0; i < 80; ++i) link.transfer_trace_dot(job);
            link.end_transfer_trace(job);
            link.trace(job, "after\r\n");
            return link.read_pop_reply(job);
        });
        EXPECT_EQ(outcome.result, net_result::ok);
        EXPECT_TRUE(server.played());
        EXPECT_EQ(after_sending, (names{"USER alice\r\n", "PASS ******\r\n", "pass *****\r\n",
                                        "APOP alice ********************************\r\n", "PASS hidden\r\n"}));
        names expected = {"S: +OK ready\r\n", "C: USER alice\r\n", "C: PASS ******\r\n", "C: pass *****\r\n",
                          "C: APOP alice ********************************\r\n", "S: "};
        for (int dot = 1; dot <= 80; ++dot) expected.push_back(dot == 76 ? ".\r\n   " : ".");
        for (const char* text : {"\r\n", "?: after\r\n", "S: +OK\r\n"}) expected.push_back(text);
        EXPECT_EQ(outcome.traces, trace ? expected : names{});
    }
}

TEST(Transport, ConnectReportsNamesAndPortsThatFail) {
    int refused_port = script_server().port();  // free a moment ago
    const struct { const char* host; int port; net_result code; } cases[] = {  // port 1: the script server's
        {"127.0.0.1", 1, net_result::ok},  {"no-such-host.invalid", 1, net_result::bad_host}, {"", 1, net_result::bad_host},
        {"127.0.0.1", refused_port, net_result::connect_failed}, {"127.0.0.1", 0, net_result::connect_failed},
    };
    for (const auto& c : cases) {
        script_server server;
        server.send("+OK\r\n").start();
        client to;
        EXPECT_EQ(to.link.connect_server(to.job, c.host, c.port == 1 ? server.port() : c.port, false, false), c.code)
            << c.host << ":" << c.port;
        EXPECT_EQ(to.link.error_detail().empty(), c.code == net_result::ok) << c.host << ": " << to.link.error_detail();
    }
}

// A silent server ends a read after the idle timeout; what is still said then (QUIT) waits
// seconds, not another full timeout.
TEST(Transport, ASilentServerEndsTheReadAfterTheIdleTimeoutAndTheNextWaitIsShort) {
    script_server server;
    server.send("+OK ready\r\n");
    client to;
    to.link.set_idle_timeout_for_testing(400ms, 50ms);
    ASSERT_EQ(to.open(server), net_result::ok);
    ASSERT_EQ(to.read(), net_result::ok);
    auto started = steady::now();
    EXPECT_EQ(to.read(), net_result::receive_error);
    EXPECT_GE(steady::now() - started, 400ms);
    ASSERT_EQ(to.link.send_bytes(to.job, "QUIT\r\n"), net_result::ok);
    started = steady::now();
    EXPECT_EQ(to.read(), net_result::receive_error);
    EXPECT_LT(steady::now() - started, 400ms);
}

// A cancel in the middle of a send closes without draining the connection first.
TEST(Transport, ACancelDuringAnUploadClosesAtOnce) {
    script_server server;
    server.send("220 ready\r\n").pause(8000ms).start();  // reads nothing meanwhile
    std::atomic<bool> sending = false;
    steady::time_point closed;
    function_job job([&](thread& self) {
        connection link(false);
        net_result code = link.connect_server(self, "127.0.0.1", server.port(), false, false);
        if (code != net_result::ok) return code;
        sending = true;
        code = link.send_bytes(self, std::string(32 << 20, 'x'));
        link.close_gently();
        closed = steady::now();
        return code;
    });
    ASSERT_TRUE(job.start());
    while (!sending) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);  // the socket's buffers are full by now
    const auto cancelled = steady::now();
    job.request_cancel();
    EXPECT_EQ(job.close_handle(), net_result::cancelled);
    EXPECT_LT(closed - cancelled, 1000ms);  // about 10 ms, not the two seconds of a drain
}

TEST(Transport, CloseGentlyIsBoundedAndLaterSendsFailWithoutASignal) {
    script_server server;
    server.send("+OK ready\r\n");  // never closes
    client to;
    ASSERT_EQ(to.open(server), net_result::ok);
    auto started = steady::now();
    to.link.close_gently();
    EXPECT_LT(steady::now() - started, std::chrono::milliseconds(close_drain_milliseconds + 2000));
    EXPECT_EQ(to.link.send_bytes(to.job, "QUIT\r\n"), net_result::send_error);  // SIGPIPE would end the test
    EXPECT_EQ(to.read(), net_result::closed);
}

TEST(Transport, TlsRefusesAServerItCannotVerifyAndSaysWhy) {
    const auto& certificates = shared_test_certificates();
    const std::string missing_ca = certificates.ca_file + ".missing";
    const struct { const tls_identity& identity; const std::string& trusted; const char* host; const char* detail; } cases[] = {
        {certificates.localhost, missing_ca, "127.0.0.1",
         "certificate verify failed: unable to get local issuer certificate"},
        {certificates.other_host, certificates.ca_file, "127.0.0.1", "certificate verify failed: IP address mismatch"},
        {certificates.other_host, certificates.ca_file, "localhost", "certificate verify failed: hostname mismatch"},
    };
    for (const auto& c : cases) {
        scoped_env trust("SSL_CERT_FILE", c.trusted.c_str());
        script_server server(c.identity);
        client to;
        EXPECT_EQ(to.open(server, true, c.host), net_result::connect_failed);
        EXPECT_EQ(to.link.error_detail(), c.detail);
    }
}

TEST(Transport, TlsPeerThatDropsTheConnection) {
    const auto& certificates = shared_test_certificates();
    scoped_env trust("SSL_CERT_FILE", certificates.ca_file.c_str());
    script_server server(certificates.localhost);
    server.send("+OK secure\r\n").reset();
    client to;
    ASSERT_EQ(to.open(server, true), net_result::ok);
    ASSERT_TRUE(server.wait_done());
    net_result code = net_result::ok;
    for (int i = 0; i < 100 && code == net_result::ok; ++i) code = to.link.send_bytes(to.job, "NOOP\r\n");
    EXPECT_EQ(code, net_result::send_error);  // and no SIGPIPE
}

}  // namespace
}  // namespace qm::test
