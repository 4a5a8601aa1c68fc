#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "net/connection.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::script_server;
using steady = std::chrono::steady_clock;

const std::vector<std::string> no_failures;

// A job driven from the test's own thread.
class test_job : public thread {
protected:
    void run() override {}
};

int connect_to(connection& link, thread& job, const script_server& server, bool ssl = false,
               const char* host = "127.0.0.1") {
    return link.connect_server(job, host, server.port(), false, ssl);
}

// Reads lines until one fails; the lines and the code that ended them.
std::vector<std::string> read_all(connection& link, thread& job, std::size_t capacity, int& code) {
    std::vector<std::string> lines;
    std::string line;
    while ((code = link.read_line(job, line, capacity)) == result_ok) lines.push_back(line);
    return lines;
}

TEST(Transport, ReadLineAssemblesSegmentsAndSplitsThemIntoLines) {
    const std::string long_line = std::string(298, 'x') + "\r\n";
    struct {
        const char* name;
        std::vector<std::string> chunks;
        std::size_t capacity;
        std::vector<std::string> lines;
    } cases[] = {
        {"one reply over three segments", {"+OK hel", "lo wor", "ld\r\n"}, 253, {"+OK hello world\r\n"}},
        {"two replies in one segment", {"+OK one\r\n+OK two\r\n"}, 253, {"+OK one\r\n", "+OK two\r\n"}},
        {"a 300-byte line as 252 + 48", {long_line}, 253, {long_line.substr(0, 252), long_line.substr(252)}},
        {"line feed only", {"a\nb\n"}, 253, {"a\n", "b\n"}},
        {"capacity 2 gives single bytes", {"ab\n"}, 2, {"a", "b", "\n"}},
        {"closed in the middle of a line: the partial line is dropped", {"+OK done\r\n+OK part"}, 253, {"+OK done\r\n"}},
    };
    for (const auto& c : cases) {
        script_server server;
        server.send_split(c.chunks, 20ms).close();
        server.start();
        test_job job;
        connection link(false);
        ASSERT_EQ(connect_to(link, job, server), result_ok) << c.name;
        int code;
        EXPECT_EQ(read_all(link, job, c.capacity, code), c.lines) << c.name;
        EXPECT_EQ(code, result_closed) << c.name;
        EXPECT_EQ(server.failures(), no_failures) << c.name;
    }
}

TEST(Transport, ReadLineWithCapacityBelowTwoReturnsOne) {
    test_job job;
    connection link(false);
    std::string line = "old";
    EXPECT_EQ(link.read_line(job, line, 1), 1);
    EXPECT_EQ(link.read_line(job, line, 0), 1);
}

TEST(Transport, RepliesAreReadAsWholeRepliesWithTheirCodes) {
    const std::string long_reply = "250 " + std::string(300, 'x') + "\r\n";
    struct {
        const char* name;
        const char* script;
        bool smtp;
        int code;
        std::string line;
    } cases[] = {
        {"positive POP3 reply", "+OK ready\r\n", false, result_ok, "+OK ready\r\n"},
        {"negative POP3 reply", "-ERR no\r\n", false, result_error_reply, "-ERR no\r\n"},
        {"three-line SMTP reply", "250-mail.test\r\n250-AUTH PLAIN\r\n250 HELP\r\n", true, result_ok, "250 HELP\r\n"},
        {"SMTP error reply", "550-no such user\r\n550 bye\r\n", true, result_error_reply, "550 bye\r\n"},
        {"SMTP 354 is a success", "354 go ahead\r\n", true, result_ok, "354 go ahead\r\n"},
        {"SMTP reply of a bare code", "250\r\n", true, result_ok, "250\r\n"},
        {"SMTP reply cut short by the server", "250-first\r\n", true, result_closed, ""},
        {"POP3 reply longer than the line buffer", long_reply.c_str(), false, result_ok, long_reply.substr(0, 252)},
        {"SMTP reply longer than the line buffer", long_reply.c_str(), true, result_ok, long_reply.substr(0, 252)},
    };
    for (const auto& c : cases) {
        script_server server;
        server.send(c.script);
        if (c.code != result_closed) server.send("+OK next\r\n");
        server.close();
        server.start();
        test_job job;
        connection link(false);
        ASSERT_EQ(connect_to(link, job, server), result_ok) << c.name;
        int mechanism = -1;
        EXPECT_EQ(c.smtp ? link.read_smtp_reply(job, &mechanism) : link.read_pop_reply(job), c.code) << c.name;
        EXPECT_EQ(link.line(), c.line) << c.name;
        if (c.smtp) {
            // Only the three-line reply names a mechanism: its AUTH line offers PLAIN.
            EXPECT_EQ(mechanism, c.line == "250 HELP\r\n" ? 2 : 0) << c.name;
        }
        // The next reply starts where the server put it.
        if (c.code != result_closed) {
            EXPECT_EQ(link.read_pop_reply(job), result_ok) << c.name;
            EXPECT_EQ(link.line(), "+OK next\r\n") << c.name;
        }
    }
}

TEST(Transport, TraceShowsTheDialogueWithSecretsMasked) {
    script_server server;
    server.send("+OK ready\r\n")
        .expect("USER alice")
        .expect("PASS secret")
        .expect("pass other")
        .expect("APOP alice c4c9334bac560ecc979e58001b3e22fb")
        .expect("PASS hidden")
        .send("+OK\r\n")
        .close();
    server.start();
    std::vector<std::string> lines_after_sending;
    auto outcome = test::run_job([&](thread& job) {
        connection link(true);
        if (int code = connect_to(link, job, server)) return code;
        if (int code = link.read_pop_reply(job)) return code;
        for (const char* command : {"USER alice\r\n", "PASS secret\r\n", "pass other\r\n",
                                    "APOP alice c4c9334bac560ecc979e58001b3e22fb\r\n"}) {
            link.line() = command;
            if (int code = link.send_line(job, true)) return code;
            lines_after_sending.push_back(link.line());
        }
        link.line() = "PASS hidden\r\n";  // sent without being shown: neither traced nor masked
        if (int code = link.send_line(job, false)) return code;
        lines_after_sending.push_back(link.line());
        link.begin_transfer_trace(job, "S: ");
        for (int i = 0; i < 80; ++i) link.transfer_trace_dot(job);
        link.end_transfer_trace(job);
        link.trace(job, "after\r\n");
        return link.read_pop_reply(job);
    });
    EXPECT_EQ(outcome.result, result_ok);
    EXPECT_EQ(server.failures(), no_failures);
    EXPECT_EQ(lines_after_sending, (std::vector<std::string>{"USER alice\r\n", "PASS ******\r\n", "pass *****\r\n",
                                                             "APOP alice ********************************\r\n",
                                                             "PASS hidden\r\n"}));
    // Each hand-off to the user interface, byte for byte.
    std::vector<std::string> expected = {"S: +OK ready\r\n", "C: USER alice\r\n", "C: PASS ******\r\n",
                                         "C: pass *****\r\n", "C: APOP alice ********************************\r\n",
                                         "S: "};
    for (int dot = 1; dot <= 80; ++dot) expected.push_back(dot == 76 ? ".\r\n   " : ".");
    for (const char* text : {"\r\n", "?: after\r\n", "S: +OK\r\n"}) expected.push_back(text);
    EXPECT_EQ(outcome.traces, expected);
}

TEST(Transport, MaskingHappensWithoutTrace) {
    script_server server;
    server.send("+OK\r\n").expect("PASS secret").close();
    server.start();
    test_job job;
    connection link(false);
    ASSERT_EQ(connect_to(link, job, server), result_ok);
    link.line() = "PASS secret\r\n";
    ASSERT_EQ(link.send_line(job, true), result_ok);
    EXPECT_EQ(link.line(), "PASS ******\r\n");
    ASSERT_TRUE(server.wait_done());
    EXPECT_EQ(server.received(), "PASS secret\r\n");
}

TEST(Transport, ConnectReportsNamesAndPortsThatFail) {
    int refused_port;
    {
        script_server closed;  // a port that was free a moment ago
        refused_port = closed.port();
    }
    struct {
        const char* host;
        int port;  // 1 for the script server's
        int code;
    } cases[] = {
        {"127.0.0.1", 1, result_ok},
        {"localhost", 1, result_ok},
        {"no-such-host.invalid", 1, result_bad_host},
        {"", 1, result_bad_host},
        {"127.0.0.1", refused_port, result_connect_failed},
        {"127.0.0.1", 0, result_connect_failed},
    };
    for (auto c : cases) {
        script_server server;
        server.send("+OK\r\n");
        server.start();
        if (c.port == 1) c.port = server.port();
        test_job job;
        connection link(false);
        ASSERT_TRUE(link.is_open());
        EXPECT_EQ(link.connect_server(job, c.host, c.port, false, false), c.code) << c.host << ":" << c.port;
        EXPECT_EQ(link.error_detail().empty(), c.code == result_ok) << c.host << ": " << link.error_detail();
    }
}

TEST(Transport, CancelEndsAWaitingReadQuickly) {
    script_server server;
    server.send("+OK ready\r\n");  // then silence
    server.start();
    std::atomic<bool> reading = false;
    std::atomic<steady::time_point::rep> returned_at = 0;
    test::function_job job([&](thread& self) {
        connection link(false);
        if (int code = connect_to(link, self, server)) return code;
        std::string line;
        if (int code = link.read_line(self, line, 253)) return code;
        reading = true;
        int code = link.read_line(self, line, 253);
        returned_at = steady::now().time_since_epoch().count();
        return code;
    });
    ASSERT_TRUE(job.start());
    while (!reading) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(30ms);  // let the read settle into its wait
    auto cancelled_at = steady::now();
    job.request_cancel();
    EXPECT_EQ(job.close_handle(), result_cancelled);
    auto answer = steady::time_point(steady::duration(returned_at.load())) - cancelled_at;
    std::cout << "cancel answered in "
              << std::chrono::duration_cast<std::chrono::microseconds>(answer).count() << " us\n";
    EXPECT_LT(answer, 1s);  // about 10 ms; generous for loaded machines
}

TEST(Transport, ASilentServerEndsTheReadAfterTheIdleTimeout) {
    script_server server;
    server.send("+OK ready\r\n");
    server.start();
    test_job job;
    connection link(false);
    link.set_idle_timeout_for_testing(100ms);
    ASSERT_EQ(connect_to(link, job, server), result_ok);
    std::string line;
    ASSERT_EQ(link.read_line(job, line, 253), result_ok);
    auto started = steady::now();
    EXPECT_EQ(link.read_line(job, line, 253), result_receive_error);
    EXPECT_GE(steady::now() - started, 100ms);
}

TEST(Transport, CloseGentlyIsBoundedAndLaterSendsFailWithoutASignal) {
    script_server server;
    server.send("+OK ready\r\n");  // never closes
    server.start();
    test_job job;
    connection link(false);
    ASSERT_EQ(connect_to(link, job, server), result_ok);
    auto started = steady::now();
    link.close_gently();
    EXPECT_LT(steady::now() - started, std::chrono::milliseconds(close_drain_milliseconds + 2000));
    EXPECT_EQ(link.send_bytes(job, "QUIT\r\n"), result_send_error);  // SIGPIPE would end the test
    std::string line;
    EXPECT_EQ(link.read_line(job, line, 253), result_closed);
}

TEST(Transport, TlsVerifiesTheServer) {
    const auto& certificates = test::shared_test_certificates();
    const std::string missing_ca = certificates.ca_file + ".missing";
    struct {
        const char* name;
        const test::tls_identity& identity;
        const std::string& trusted;
        bool verify;
        const char* host;
        int code;
        const char* detail;
    } cases[] = {
        {"trusted CA", certificates.localhost, certificates.ca_file, true, "127.0.0.1", result_ok, ""},
        {"trusted CA, by name", certificates.localhost, certificates.ca_file, true, "localhost", result_ok, ""},
        {"unknown CA", certificates.localhost, missing_ca, true, "127.0.0.1", result_connect_failed,
         "certificate verify failed: unable to get local issuer certificate"},
        {"unknown CA, verification off", certificates.localhost, missing_ca, false, "127.0.0.1", result_ok, ""},
        {"wrong address", certificates.other_host, certificates.ca_file, true, "127.0.0.1", result_connect_failed,
         "certificate verify failed: IP address mismatch"},
        {"wrong host name", certificates.other_host, certificates.ca_file, true, "localhost", result_connect_failed,
         "certificate verify failed: hostname mismatch"},
    };
    for (const auto& c : cases) {
        test::scoped_env trust("SSL_CERT_FILE", c.trusted.c_str());
        script_server server(c.identity);
        server.send("+OK secure\r\n").expect("QUIT").close();
        server.start();
        test_job job;
        connection link(false);
        link.set_verify_certificate(c.verify);
        ASSERT_EQ(connect_to(link, job, server, true, c.host), c.code) << c.name << ": " << link.error_detail();
        EXPECT_EQ(link.error_detail(), c.detail) << c.name;
        if (c.code != result_ok) continue;
        EXPECT_EQ(link.read_pop_reply(job), result_ok) << c.name;
        EXPECT_EQ(link.line(), "+OK secure\r\n") << c.name;
        link.line() = "QUIT\r\n";
        EXPECT_EQ(link.send_line(job, true), result_ok) << c.name;
        EXPECT_EQ(link.read_pop_reply(job), result_closed) << c.name;
        link.close_gently();
        EXPECT_TRUE(server.wait_done()) << c.name;
        EXPECT_EQ(server.failures(), no_failures) << c.name;
    }
}

TEST(Transport, TlsPeerThatDropsTheConnection) {
    const auto& certificates = test::shared_test_certificates();
    test::scoped_env trust("SSL_CERT_FILE", certificates.ca_file.c_str());
    script_server server(certificates.localhost);
    server.send("+OK secure\r\n").reset();
    server.start();
    test_job job;
    connection link(false);
    ASSERT_EQ(connect_to(link, job, server, true), result_ok);
    ASSERT_TRUE(server.wait_done());
    int code = result_ok;
    for (int i = 0; i < 100 && code == result_ok; ++i) code = link.send_bytes(job, "NOOP\r\n");
    EXPECT_EQ(code, result_send_error);  // and no SIGPIPE
}

}  // namespace
}  // namespace qm
