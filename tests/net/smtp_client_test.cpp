// The SMTP dialogue against scripted loopback servers: the capability scan,
// every login form, the queue with its envelope, Bcc and dot-stuffing, and
// the failures a real server will not readily produce.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "net/connection.h"
#include "net/result_codes.h"
#include "net/smtp_auth_scan.h"
#include "net/smtp_client.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_support.h"
#include "text/base64.h"

namespace qm {
namespace {

using test::job_outcome;
using test::list_names;
using test::read_bytes;
using test::script_server;
using test::temp_dir;
using test::write_bytes;
using names = std::vector<std::string>;
using exchange_list = std::vector<std::pair<std::string, std::string>>;  // command, reply

const std::string ok = "250 ok\r\n";
const std::string password = "open sesame";

void play(script_server& server, const exchange_list& exchanges) {
    for (const auto& [line, reply] : exchanges) server.expect(line).send(reply);
}

// Runs `body` on a job connected to the scripted server (TLS when it speaks
// TLS), then QUIT, as a send job does, and checks that the client said
// exactly what the script expected, QUIT included.
job_outcome talk(script_server& server, const std::function<int(connection&, thread&)>& body, bool tls = false,
                 bool trace = false) {
    server.expect("QUIT").send("221 bye\r\n").close();
    server.start();
    job_outcome outcome = test::run_job([&](thread& job) {
        connection link(trace);
        int code = link.connect_server(job, "localhost", server.port(), false, tls);
        if (code != result_ok) return code;
        code = body(link, job);
        smtp_quit(link, job);
        link.close_gently();
        return code;
    });
    EXPECT_TRUE(server.wait_done());
    EXPECT_EQ(server.failures(), names{});
    return outcome;
}

// ---------------------------------------------------------------- login

TEST(SmtpAuthScan, PicksTheBestMechanismOfTheLastAuthLine) {
    struct scan_case {
        std::vector<std::string> lines;
        bool ssl;
        int expected;
    };
    const std::vector<scan_case> cases = {
        {{"250-AUTH LOGIN PLAIN CRAM-MD5\r\n"}, false, auth_cram_md5},
        {{"250-AUTH LOGIN PLAIN CRAM-MD5\r\n"}, true, auth_plain},
        {{"250-auth login\r\n"}, false, auth_login},
        {{"250-AUTH CRAM-MD5\r\n"}, true, auth_none},  // never over TLS, and nothing else offered
        {{"250-AUTH=PLAIN\r\n"}, false, auth_none},   // the obsolete form
        {{"250-AUTH PLAIN\r\n", "250-AUTH LOGIN\r\n"}, false, auth_login},
        {{"250-AUTH LOGIN\r\n", "250-AUTH GSSAPI\r\n", "250 SIZE 1000\r\n"}, false, auth_login},
        {{"250-SIZE AUTH PLAIN\r\n", "250 8BITMIME\r\n"}, false, auth_none},
    };
    for (const scan_case& c : cases) {
        int mechanism = auth_none;
        for (const std::string& line : c.lines) scan_auth_line(line, c.ssl, mechanism);
        EXPECT_EQ(mechanism, c.expected) << c.lines[0];
    }
    EXPECT_EQ(smtp_greeting_name("alice@example.com"), "alice");
    EXPECT_EQ(smtp_greeting_name("alice"), "alice");
}

struct login_case {
    const char* name;
    bool tls;
    std::string user;  // empty: none (HELO)
    std::string secret;
    std::string greeting;
    exchange_list exchanges;
    int expected;
};

std::string ehlo_reply(std::string_view auth_line) {
    return "250-mail.example.test\r\n" + std::string(auth_line) + "250 8BITMIME\r\n";
}

TEST(SmtpStart, GreetsAndLogsInWithTheOfferedMechanism) {
    const std::string all = ehlo_reply("250-AUTH LOGIN PLAIN CRAM-MD5\r\n");
    const std::string login_only = ehlo_reply("250-AUTH LOGIN\r\n");
    const std::string plain_token = "YWxpY2UAYWxpY2UAb3BlbiBzZXNhbWU=";  // alice \0 alice \0 open sesame
    const std::string long_secret(187, 's');  // 252 characters in Base64, 254 with CR LF
    const std::vector<login_case> cases = {
        {"HELO without a user", false, "", password, "220 hi\r\n", {{"HELO alice", ok}}, result_ok},
        {"HELO refused", false, "", password, "220 hi\r\n", {{"HELO alice", "501 no\r\n"}}, result_error_reply},
        {"greeting refused", false, "alice", password, "554 go away\r\n", {}, result_error_reply},
        {"EHLO refused: no HELO", false, "alice", password, "220 hi\r\n", {{"EHLO alice", "502 no\r\n"}},
         result_error_reply},
        {"no AUTH offered", false, "alice", password, "220 hi\r\n", {{"EHLO alice", ehlo_reply("")}},
         result_error_reply},
        {"CRAM-MD5 on a plain connection (RFC 2195)", false, "tim", "tanstaaftanstaaf", "220 hi\r\n",
         {{"EHLO alice", all},
          {"AUTH CRAM-MD5", "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n"},
          {"dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw", "235 ok\r\n"}},
         result_ok},
        {"PLAIN over TLS", true, "alice", password, "220 hi\r\n",
         {{"EHLO alice", all}, {"AUTH PLAIN " + plain_token, "235 ok\r\n"}}, result_ok},
        {"LOGIN with Base64 prompts", false, "alice", password, "220 hi\r\n",
         {{"EHLO alice", login_only},
          {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
          {"YWxpY2U=", "334 UGFzc3dvcmQ6\r\n"},
          {"b3BlbiBzZXNhbWU=", "235 ok\r\n"}},
         result_ok},
        {"LOGIN with plain-text prompts", false, "alice", password, "220 hi\r\n",
         {{"EHLO alice", login_only},
          {"AUTH LOGIN", "334 Username:\r\n"},
          {"alice", "334 Password:\r\n"},
          {password, "235 ok\r\n"}},
         result_ok},
        {"password refused", false, "alice", password, "220 hi\r\n",
         {{"EHLO alice", login_only},
          {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
          {"YWxpY2U=", "334 UGFzc3dvcmQ6\r\n"},
          {"b3BlbiBzZXNhbWU=", "535 5.7.8 failed\r\n"}},
         result_bad_password},
        {"AUTH command refused", false, "alice", password, "220 hi\r\n",
         {{"EHLO alice", login_only}, {"AUTH LOGIN", "504 not now\r\n"}}, result_error_reply},
        {"the longest password that fits a line", false, "alice", long_secret.substr(1), "220 hi\r\n",
         {{"EHLO alice", login_only},
          {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
          {"YWxpY2U=", "334 UGFzc3dvcmQ6\r\n"},
          {base64_encode_text(long_secret.substr(1)), "235 ok\r\n"}},
         result_ok},
        {"a password too long for a line is never cut", false, "alice", long_secret, "220 hi\r\n",
         {{"EHLO alice", login_only}}, result_bad_password},
        {"a PLAIN token too long for a line", false, "alice", std::string(170, 's'), "220 hi\r\n",
         {{"EHLO alice", ehlo_reply("250-AUTH PLAIN\r\n")}}, result_bad_password},
    };
    const auto& certificates = test::shared_test_certificates();
    test::scoped_env trust("SSL_CERT_FILE", certificates.ca_file.c_str());
    for (const login_case& c : cases) {
        SCOPED_TRACE(c.name);
        script_server server = c.tls ? script_server(certificates.localhost) : script_server();
        server.send(c.greeting);
        play(server, c.exchanges);
        std::string secret = c.secret;
        job_outcome outcome = talk(
            server,
            [&](connection& link, thread& job) {
                return smtp_start(link, job, "alice", c.user.empty() ? nullptr : &c.user, secret);
            },
            c.tls, true);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(secret, c.secret);
        // Neither the password nor an encoded form of it is ever shown.
        const std::string trace = outcome.trace_text();
        for (const std::string& hidden : {c.secret, base64_encode_text(c.secret), plain_token})
            EXPECT_EQ(trace.find(hidden), std::string::npos) << hidden << " in\n" << trace;
    }
}

// ---------------------------------------------------------------- the queue

// Says HELO, then sends the queue of `work`, as a send job without a login.
job_outcome run_queue(script_server& server, const temp_dir& work, bool trace = false) {
    return talk(
        server,
        [&](connection& link, thread& job) {
            std::string unused;
            int code = smtp_start(link, job, "alice", nullptr, unused);
            return code == result_ok ? smtp_send_queue(link, job, work.cp()) : code;
        },
        false, trace);
}

class SmtpQueue : public ::testing::Test {
protected:
    void SetUp() override { server_.send("220 hi\r\n").expect("HELO alice").send(ok); }
    void queue(const std::string& name, const std::string& message) { write_bytes(work_ / name, message); }
    job_outcome send_queue(bool trace = false) { return run_queue(server_, work_, trace); }

    temp_dir work_;
    script_server server_;
};

const std::string simple = "From: a@example.com\r\nTo: b@example.com\r\n\r\nhello\r\n";

// The data as it must go out: every line that begins with "." gets one more,
// and the end mark follows the file's last byte.
std::string stuffed(const std::string& file) {
    std::string out;
    bool line_start = true;
    for (char c : file) {
        if (line_start && c == '.') out += '.';
        out += c;
        line_start = c == '\n';
    }
    return out + "\r\n.\r\n";
}

TEST_F(SmtpQueue, SendsEveryFileInNumberOrderWithTheFullEnvelope) {
    const std::string line_300 = "." + std::string(297, '-') + "\r\n";  // three chunks
    const std::string with_bcc =
        "From: Sender <s@example.com>\r\nTo: t1@example.com, \"Two\" <t2@example.com>\r\nBcc: hidden@example.com\r\n"
        "Cc: c@example.com,\r\n undisclosed-recipients\r\nSubject: x\r\n\r\n.dot line\r\n" + line_300;
    queue("10.smt", simple);
    queue("7.smt", with_bcc);
    queue("notes.txt", "not queued");
    play(server_, {{"MAIL FROM:<s@example.com>", ok},
                   {"RCPT TO:<t1@example.com>", ok},
                   {"RCPT TO:<t2@example.com>", ok},
                   {"RCPT TO:<c@example.com>", ok},  // the item without "@" is skipped
                   {"RCPT TO:<hidden@example.com>", ok},
                   {"DATA", "354 go on\r\n"}});
    server_.receive_data().send(ok);
    play(server_, {{"MAIL FROM:<a@example.com>", ok}, {"RCPT TO:<b@example.com>", ok}, {"DATA", "354 go on\r\n"}});
    server_.receive_data().send(ok);
    job_outcome outcome = send_queue(true);
    EXPECT_EQ(outcome.result, result_ok);

    const std::string without_bcc = "From: Sender <s@example.com>\r\nTo: t1@example.com, \"Two\" <t2@example.com>\r\n"
                                    "Cc: c@example.com,\r\n undisclosed-recipients\r\nSubject: x\r\n\r\n.dot line\r\n" +
                                    line_300;
    EXPECT_EQ(server_.data_received(), (names{stuffed(without_bcc), stuffed(simple)}));
    EXPECT_EQ(list_names(work_.path()), names{"notes.txt"});

    // One dot per chunk in the trace: a line has as many chunks as it has
    // started runs of 127 bytes.
    std::size_t chunks = 0;
    for (std::size_t pos = 0; pos < without_bcc.size();) {
        std::size_t end = std::min(without_bcc.find('\n', pos), without_bcc.size() - 1) + 1;
        chunks += (end - pos + smtp_data_chunk - 1) / smtp_data_chunk;
        pos = end;
    }
    const std::string trace = outcome.trace_text();
    const std::string before = "C: DATA\r\nS: 354 go on\r\nC: ";
    std::size_t start = trace.find(before);
    ASSERT_NE(start, std::string::npos) << trace;
    start += before.size();
    EXPECT_EQ(trace.substr(start, trace.find("\r\n", start) - start), std::string(chunks, '.'));
}

TEST(SmtpQueueFailure, StopsTheRunAndKeepsThatFileAndTheLaterOnes) {
    struct failure_case {
        const char* name;
        std::string first;  // the contents of 1.smt
        exchange_list exchanges;
        bool data_sent;
        std::string after_data;
        int expected;
    };
    const std::vector<failure_case> cases = {
        {"the copy cannot be made", simple, {}, false, "", result_file_error},
        {"no From", "To: b@example.com\r\n\r\nx\r\n", {}, false, "", result_no_sender},
        {"From without an address", "From: nobody\r\nTo: b@example.com\r\n\r\nx\r\n", {}, false, "", result_no_sender},
        {"MAIL FROM refused", simple, {{"MAIL FROM:<a@example.com>", "550 no\r\n"}, {"RSET", ok}}, false, "",
         result_error_reply},
        {"RCPT TO refused: RSET twice",
         simple,
         {{"MAIL FROM:<a@example.com>", ok}, {"RCPT TO:<b@example.com>", "550 no such user\r\n"}, {"RSET", ok},
          {"RSET", ok}},
         false, "", result_error_reply},
        {"DATA refused", simple,
         {{"MAIL FROM:<a@example.com>", ok}, {"RCPT TO:<b@example.com>", ok}, {"DATA", "554 no\r\n"}, {"RSET", ok}},
         false, "", result_error_reply},
        {"data refused after the end mark", simple,
         {{"MAIL FROM:<a@example.com>", ok}, {"RCPT TO:<b@example.com>", ok}, {"DATA", "354 go on\r\n"}}, true,
         "552 too big\r\n", result_error_reply},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir work;
        script_server server;
        server.send("220 hi\r\n").expect("HELO alice").send(ok);
        play(server, c.exchanges);
        if (c.data_sent) server.receive_data().send(c.after_data).expect("RSET").send(ok);
        write_bytes(work / "1.smt", c.first);
        write_bytes(work / "2.smt", simple);
        if (c.expected == result_file_error) std::filesystem::create_directory(work / "1.smt.ref");
        EXPECT_EQ(run_queue(server, work).result, c.expected);
        names left = {"1.smt", "2.smt"};
        if (c.expected == result_file_error) left.insert(left.begin() + 1, "1.smt.ref");
        EXPECT_EQ(list_names(work.path()), left);
        EXPECT_EQ(read_bytes(work / "1.smt"), c.first);
    }
}

TEST_F(SmtpQueue, EmptyQueueOnlyGreetsAndQuits) {
    EXPECT_EQ(send_queue().result, result_ok);
    EXPECT_EQ(server_.received(), "HELO alice\r\nQUIT\r\n");
}

// ---------------------------------------------------------------- the data

TEST_F(SmtpQueue, DataIsStuffedInChunksWhateverItsSize) {
    // Lines around the chunk size, dots where a chunk or a read buffer ends,
    // a 300-byte line that goes out in three chunks with only the first
    // stuffed, a bare line feed and no line end at the very end.
    const std::string long_line = "." + std::string(126, 'a') + "." + std::string(126, 'b') + "." +
                                  std::string(44, 'c') + "\r\n";
    std::string body = long_line + "..two\r\n.\r\nbare\n.after bare\r\n";
    for (std::size_t length : {125, 126, 127, 128, 253, 254}) body += "." + std::string(length, 'x') + "\r\n";
    std::string large = body;
    while (large.size() < 3 * smtp_file_buffer_size) large += ". " + std::to_string(large.size()) + "\r\n" + body;
    const std::vector<std::string> files = {"From: a@example.com\r\nTo: b@example.com\r\n\r\n" + body,
                                            "From: a@example.com\r\nTo: b@example.com\r\n\r\n" + large + ".end"};
    for (std::size_t i = 0; i < files.size(); ++i) {
        queue(std::to_string(i) + ".smt", files[i]);
        play(server_, {{"MAIL FROM:<a@example.com>", ok}, {"RCPT TO:<b@example.com>", ok}, {"DATA", "354 go\r\n"}});
        server_.receive_data().send(ok);
    }
    ASSERT_EQ(send_queue().result, result_ok);
    EXPECT_EQ(server_.data_received(), (names{stuffed(files[0]), stuffed(files[1])}));
}

TEST(SmtpSendFile, UnreadableFileNeverGetsTheEndMark) {
    temp_dir directory;
    script_server server;
    server.send("220 hi\r\n").expect("DATA").send("354 go\r\n").close();
    server.start();
    int code = test::run_job([&](thread& job) {
                   connection link(false);
                   int result = link.connect_server(job, "127.0.0.1", server.port(), false, false);
                   if (result == result_ok) result = link.read_smtp_reply(job, nullptr);
                   link.line() = "DATA\r\n";
                   if (result == result_ok) result = link.send_line(job, true);
                   if (result == result_ok) result = link.read_smtp_reply(job, nullptr);
                   // A directory opens, but cannot be read.
                   if (result == result_ok) result = smtp_send_file(link, job, directory.cp());
                   smtp_reset(link, job);
                   smtp_quit(link, job);
                   return result;
               }).result;
    EXPECT_EQ(code, result_file_error);
    EXPECT_TRUE(server.wait_done());
    EXPECT_EQ(server.received(), "DATA\r\n");
}

}  // namespace
}  // namespace qm
