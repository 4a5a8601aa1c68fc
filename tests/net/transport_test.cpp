#include <chrono>

#include "net/connection.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

// A connection from the test's own thread (the job never starts) to a scripted server, which it starts.
struct client {
    net_result open(script_server& server) {
        server.start();
        return link.connect_server(job, "127.0.0.1", server.port(), false, false);
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
    }
    client unconnected;
    EXPECT_EQ(unconnected.read(1), net_result::receive_error);  // a capacity below two
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
        EXPECT_EQ(c.smtp ? to.link.read_smtp_reply(to.job, nullptr) : to.link.read_pop_reply(to.job), c.code) << c.name;
        EXPECT_EQ(to.link.line(), c.line) << c.name;
        if (c.code == net_result::closed) continue;
        EXPECT_EQ(to.link.read_pop_reply(to.job), net_result::ok) << c.name;
        EXPECT_EQ(to.link.line(), "+OK next\r\n") << c.name;
    }
}

// (A refused connection: the send and receive round's test.)
TEST(Transport, ConnectReportsANameThatDoesNotResolve) {
    for (const char* host : {"no-such-host.invalid", ""}) {
        client to;
        EXPECT_EQ(to.link.connect_server(to.job, host, 110, false, false), net_result::bad_host) << host;
        EXPECT_NE(to.link.error_detail(), "") << host;
    }
}

// A silent server ends a read after the idle timeout; what is still said then (QUIT) waits
// seconds, not another full timeout.
TEST(Transport, ASilentServerEndsTheReadAfterTheIdleTimeoutAndTheNextWaitIsShort) {
    script_server server;
    client to;
    to.link.set_idle_timeout_for_testing(400ms, 50ms);
    ASSERT_EQ(to.open(server.send("+OK ready\r\n")), net_result::ok);
    ASSERT_EQ(to.read(), net_result::ok);
    auto started = steady::now();
    EXPECT_EQ(to.read(), net_result::receive_error);
    EXPECT_GE(steady::now() - started, 400ms);
    ASSERT_EQ(to.link.send_bytes(to.job, "QUIT\r\n"), net_result::ok);
    started = steady::now();
    EXPECT_EQ(to.read(), net_result::receive_error);
    EXPECT_LT(steady::now() - started, 400ms);
}

}  // namespace
}  // namespace qm::test
