// The SMTP dialogue against scripted servers: the capability scan, the login
// forms and the queue's envelope, Bcc and stuffing that Postfix will not show,
// and the failures it will not produce.

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "net/client_name.h"
#include "net/connection.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_support.h"
#include "text/base64.h"

namespace qm::test {
namespace {

const std::string ok = "250 ok\r\n";
const std::string password = "open sesame";

// Runs `body` and QUIT against the script (which takes the QUIT unless the connection is to be dropped).
job_outcome talk(script_server& server, const std::function<net_result(connection&, thread&)>& body, bool trace = false,
                 bool dropped = false) {
    if (!dropped) server.exchange({{"QUIT", "221 bye\r\n"}});
    server.close().start();
    job_outcome outcome = run_connected({.port = server.port(), .trace = trace}, [&](connection& link, thread& job) {
        net_result code = body(link, job);
        smtp_quit(link, job);
        return code;
    });
    EXPECT_TRUE(server.played());
    return outcome;
}

// The client names itself as RFC 5321 asks: a fully qualified domain name, else the address literal.
TEST(SmtpGreeting, ANameAServerCanLookUpOrTheAddressLiteral) {
    for (const char* name : {"mail.example.jp", "a-1.example.co.jp.", "host.corp"})
        EXPECT_TRUE(is_fully_qualified_name(name)) << name;
    for (const char* name : {"alice", "localhost.localdomain", "pi.local", "-a.example", "a..example", "192.0.2.1", ""})
        EXPECT_FALSE(is_fully_qualified_name(name)) << name;
    EXPECT_EQ(client_name(std::string("mail.example.jp"), "[192.0.2.1]"), "mail.example.jp");
    EXPECT_EQ(client_name(std::string("alice"), "[192.0.2.1]"), "[192.0.2.1]");
    EXPECT_EQ(client_name(std::nullopt, ""), "localhost.invalid");
    // The literal of the local end: IPv4, IPv4 reached over an IPv6 socket, IPv6; none without a socket.
    for (const auto& [peer, literal] : {std::pair{"127.0.0.1", "[127.0.0.1]"}, {"::ffff:127.0.0.1", "[127.0.0.1]"},
                                        {"::1", "[IPv6:::1]"}}) {
        addrinfo hints{.ai_flags = AI_NUMERICHOST, .ai_family = AF_UNSPEC, .ai_socktype = SOCK_DGRAM, .ai_protocol = 0,
                       .ai_addrlen = 0, .ai_addr = nullptr, .ai_canonname = nullptr, .ai_next = nullptr};
        addrinfo* found = nullptr;
        ASSERT_EQ(::getaddrinfo(peer, "9", &hints, &found), 0) << peer;
        const int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(fd, found->ai_addr, found->ai_addrlen), 0) << peer;  // UDP: only picks the local end
        EXPECT_EQ(address_literal_of_socket(fd), literal);
        ::close(fd);
        ::freeaddrinfo(found);
    }
    EXPECT_EQ(address_literal_of_socket(-1), "");
}

std::string ehlo_reply(std::string_view auth_line) {
    return "250-mail.example.test\r\n" + std::string(auth_line) + "250 8BITMIME\r\n";
}

TEST(SmtpStart, GreetsAndLogsInWithTheOfferedMechanismAndNeverShowsTheSecrets) {
    // (PLAIN and LOGIN taken by a real server: tests/net/real_servers_test.cpp.)
    const std::string long_secret(187, 's');  // 252 characters in Base64, 254 with CR LF
    const std::string offers_login = ehlo_reply("250-AUTH LOGIN\r\n");
    const struct {  // the exchanges after the greeting; no user: HELO after a refused EHLO
        const char* name; exchange_list exchanges; net_result expected;
        std::string secret = password, user = "alice", greeting = "220 hi\r\n";
    } cases[] = {
        {"EHLO and HELO refused", {{"EHLO alice", "502 no\r\n"}, {"HELO alice", "501 no\r\n"}}, net_result::error_reply,
         password, ""},
        {"greeting refused", {}, net_result::error_reply, password, "alice", "554 go away\r\n"},
        // A reply that does not begin with a digit is a refusal (each a whole reply: its fourth character is a space).
        {"greeting 099", {}, net_result::error_reply, password, "", "099 odd\r\n"},
        {"EHLO refused before a login: no HELO", {{"EHLO alice", "502 no\r\n"}}, net_result::error_reply},
        {"no AUTH offered", {{"EHLO alice", ehlo_reply("")}}, net_result::error_reply},
        {"LOGIN with plain-text prompts", {{"EHLO alice", offers_login}, {"AUTH LOGIN", "334 Username:\r\n"},
                                           {"alice", "334 Password:\r\n"}, {password, "235 ok\r\n"}}, net_result::ok},
        {"AUTH command refused", {{"EHLO alice", offers_login}, {"AUTH LOGIN", "504 not now\r\n"}}, net_result::error_reply},
        {"the longest password that fits a line", {{"EHLO alice", offers_login}, {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
                                                    {"YWxpY2U=", "334 UGFzc3dvcmQ6\r\n"},
                                                    {base64_encode_text(long_secret.substr(1)), "235 ok\r\n"}},
         net_result::ok, long_secret.substr(1)},
        {"a password too long for a line is never cut", {{"EHLO alice", offers_login}}, net_result::bad_password,
         long_secret},
        {"a PLAIN token too long for a line", {{"EHLO alice", ehlo_reply("250-AUTH PLAIN\r\n")}}, net_result::bad_password,
         std::string(170, 's')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_server server;
        server.send(c.greeting).exchange(c.exchanges);
        std::string secret = c.secret;
        job_outcome outcome = talk(server, [&](connection& link, thread& job) {
            return smtp_start(link, job, "alice", c.user.empty() ? nullptr : &c.user, secret);
        }, true);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(secret, c.secret);
        const std::string trace = outcome.trace_text();
        for (const std::string& hidden : {c.secret, base64_encode_text(c.secret)})
            EXPECT_EQ(trace.find(hidden), std::string::npos) << hidden << " in\n" << trace;
    }
}

const std::string simple = "From: a@example.com\r\nTo: b@example.com\r\n\r\nhello\r\n";
const exchange_list envelope_a_to_b = {{"MAIL FROM:<a@example.com>", ok}, {"RCPT TO:<b@example.com>", ok}};

// The data as it must go out: every line end CR LF (a carriage return or a line feed on its own made one),
// stuffed, the end mark after the file's last byte.
std::string stuffed(const std::string& file) {
    std::string out;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const bool line_end = file[i] == '\r' || file[i] == '\n';
        if (file[i] == '.' && (out.empty() || out.ends_with('\n'))) out += '.';
        out += line_end ? std::string("\r\n") : std::string(1, file[i]);
        if (file.compare(i, 2, "\r\n") == 0) ++i;
    }
    return out + "\r\n.\r\n";
}

// Says EHLO, then sends the queue of `work`, as a send job without a login.
job_outcome run_queue(script_server& server, const temp_dir& work, bool trace = false, bool dropped = false) {
    return talk(server, [&](connection& link, thread& job) {
        std::string unused;
        net_result code = smtp_start(link, job, "alice", nullptr, unused);
        return code == net_result::ok ? smtp_send_queue(link, job, work.cp()) : code;
    }, trace, dropped);
}

// Every file in number order to its own envelope, its data stuffed in chunks whatever its size: lines
// around the chunk size, dots where a chunk or a read buffer ends, a bare line feed, bare carriage
// returns (one before the dot that would end the data early, one where a chunk ends) and no line end
// at the very end.
TEST(SmtpQueue, SendsEveryFileInNumberOrderToItsEnvelopeStuffedInChunks) {
    temp_dir work;
    script_server server;
    server.send("220 hi\r\n").exchange({{"EHLO alice", ok}});
    // Queues the file with its envelope, and scripts the envelope and the data.
    auto queue = [&](const std::string& name, const std::string& message, const std::string& from, const names& to) {
        write_bytes(work / name, message);
        write_envelope(work / name, from, to);
        server.exchange({{"MAIL FROM:<" + from + ">", ok}});
        for (const std::string& recipient : to) server.exchange({{"RCPT TO:<" + recipient + ">", ok}});
        server.exchange({{"DATA", "354 go on\r\n"}}).receive_data().send(ok);
    };
    const std::string line_300 = "." + std::string(297, '-') + "\r\n";  // three chunks
    const std::string addressed = "From: Sender <s@example.com>\r\nTo: t1@example.com, \"Two\" <t2@example.com>\r\n"
                                  "Cc: c@example.com,\r\n undisclosed-recipients\r\nSubject: x\r\n\r\n.dot line\r\n" + line_300;
    const std::string long_line = "." + std::string(126, 'a') + "." + std::string(126, 'b') + "." +
                                  std::string(44, 'c') + "\r\n";
    std::string body = long_line + "..two\r\n.\r\nbare\n.after bare\r\nlone\r.\r\nMAIL FROM:<x@example.com>\r\n" +
                       std::string(126, 'y') + "\r.smuggled\r\n";
    for (std::size_t length : {125, 126, 127, 128, 253, 254}) body += "." + std::string(length, 'x') + "\r\n";
    std::string large = body;
    while (large.size() < 3 * smtp_file_buffer_size) large += ". " + std::to_string(large.size()) + "\r\n" + body;
    const names files = {addressed, simple + body, simple + large + ".end", simple + "ends in a bare CR\r"};
    queue("7.smt", files[0], "s@example.com", {"t1@example.com", "t2@example.com", "c@example.com", "hidden@example.com"});
    for (std::size_t i = 1; i < files.size(); ++i)
        queue(std::to_string(9 + i) + ".smt", files[i], "a@example.com", {"b@example.com"});
    write_bytes(work / "notes.txt", "not queued");
    job_outcome outcome = run_queue(server, work, true);
    EXPECT_EQ(outcome.result, net_result::ok);
    names expected;
    for (const std::string& file : files) expected.push_back(stuffed(file));
    EXPECT_EQ(server.data_received(), expected);
    EXPECT_EQ(list_names(work.path()), names{"notes.txt"});
    // One dot per chunk of at most 127 bytes: one for each short line, three for line_300.
    // The line of dots breaks after the 76th.
    EXPECT_NE(outcome.trace_text().find("C: DATA\r\nS: 354 go on\r\nC: ..........\r\n"), std::string::npos)
        << outcome.trace_text();
    EXPECT_NE(outcome.trace_text().find("C: " + std::string(76, '.') + "\r\n   ."), std::string::npos);
}

TEST(SmtpQueueFailure, StopsTheRunAndKeepsThatFileAndTheLaterOnes) {
    const struct {  // 1.smt ("": a directory, which opens but cannot be read) and its sender (null: no envelope)
        const char* name; std::string first; const char* sender; exchange_list exchanges; net_result expected;
        std::string after_data = "";  // the reply to the data, when it is sent
    } cases[] = {
        {"no envelope", simple, nullptr, {}, net_result::file_error},
        {"no sender", "To: b@example.com\r\n\r\nx\r\n", "", {}, net_result::no_sender},
        {"MAIL FROM refused", simple, "a@example.com", {{"MAIL FROM:<a@example.com>", "550 no\r\n"}, {"RSET", ok}},
         net_result::error_reply},
        {"RCPT TO refused", simple, "a@example.com",
         {envelope_a_to_b[0], {"RCPT TO:<b@example.com>", "550 no such user\r\n"}, {"RSET", ok}}, net_result::error_reply},
        {"DATA refused", simple, "a@example.com",
         {envelope_a_to_b[0], envelope_a_to_b[1], {"DATA", "554 no\r\n"}, {"RSET", ok}}, net_result::error_reply},
        {"data refused after the end mark", simple, "a@example.com",
         {envelope_a_to_b[0], envelope_a_to_b[1], {"DATA", "354 go on\r\n"}}, net_result::error_reply, "552 too big\r\n"},
        // Only dropping the connection keeps the data from ending: nothing follows DATA, not even QUIT.
        {"a file that cannot be read", "", "a@example.com",
         {envelope_a_to_b[0], envelope_a_to_b[1], {"DATA", "354 go on\r\n"}}, net_result::file_error},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir work;
        script_server server;
        server.send("220 hi\r\n").exchange({{"EHLO alice", ok}}).exchange(c.exchanges);
        if (!c.after_data.empty()) server.receive_data().send(c.after_data).exchange({{"RSET", ok}});
        if (c.first.empty()) std::filesystem::create_directory(work / "1.smt");
        else write_bytes(work / "1.smt", c.first);
        if (c.sender) write_envelope(work / "1.smt", c.sender, {"b@example.com"});
        write_bytes(work / "2.smt", simple);
        write_envelope(work / "2.smt", "a@example.com", {"b@example.com"});
        const auto queued = tree_snapshot(work.path());
        EXPECT_EQ(run_queue(server, work, false, c.first.empty()).result, c.expected);
        EXPECT_EQ(tree_snapshot(work.path()), queued);
        EXPECT_EQ(server.received().ends_with("DATA\r\n"), c.first.empty()) << server.received();
    }
}

}  // namespace
}  // namespace qm::test
