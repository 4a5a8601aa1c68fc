// The SMTP dialogue against scripted servers: the capability scan, the login
// forms and the queue's envelope, Bcc and stuffing that Postfix will not show,
// and the failures it will not produce.

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

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

// Runs `body` and QUIT against the script.
job_outcome talk(script_server& server, const std::function<net_result(connection&, thread&)>& body, bool trace = false) {
    server.exchange({{"QUIT", "221 bye\r\n"}}).close().start();
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
        if (c.exchanges.empty()) {
            EXPECT_EQ(server.received(), "QUIT\r\n");  // no HELO after a refused greeting
        }
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
    bool line_start = true;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' || file[i] == '\n') {
            if (file.compare(i, 2, "\r\n") == 0) ++i;
            out += "\r\n";
            line_start = true;
            continue;
        }
        if (line_start && file[i] == '.') out += '.';
        out += file[i];
        line_start = false;
    }
    return out + "\r\n.\r\n";
}

// Says EHLO, then sends the queue of `work`, as a send job without a login.
job_outcome run_queue(script_server& server, const temp_dir& work, bool trace = false) {
    return talk(server, [&](connection& link, thread& job) {
        std::string unused;
        net_result code = smtp_start(link, job, "alice", nullptr, unused);
        return code == net_result::ok ? smtp_send_queue(link, job, work.cp()) : code;
    }, trace);
}

// Every file in number order to its own envelope, its data stuffed in chunks whatever its size: lines
// around the chunk size, dots where a chunk or a read buffer ends, a bare line feed, bare carriage
// returns (one before the dot that would end the data early, one where a chunk ends) and no line end
// at the very end.
TEST(SmtpQueue, SendsEveryFileInNumberOrderToItsEnvelopeStuffedInChunks) {
    temp_dir work;
    script_server server;
    server.send("220 hi\r\n").exchange({{"EHLO alice", ok}});
    // Queues the file with the envelope the exchange names, and scripts the envelope and the data.
    auto queue = [&](const std::string& name, const std::string& message, const exchange_list& envelope) {
        write_bytes(work / name, message);
        std::string sender;
        names recipients;
        for (const auto& [command, reply] : envelope) {
            std::string address = command.substr(command.find('<') + 1);
            address.pop_back();
            (command.starts_with("MAIL") ? sender : recipients.emplace_back()) = address;
        }
        write_envelope(work / name, sender, recipients);
        server.exchange(envelope).exchange({{"DATA", "354 go on\r\n"}}).receive_data().send(ok);
    };
    const std::string line_300 = "." + std::string(297, '-') + "\r\n";  // three chunks
    const std::string header = "From: Sender <s@example.com>\r\nTo: t1@example.com, \"Two\" <t2@example.com>\r\n";
    const std::string rest =
        "Cc: c@example.com,\r\n undisclosed-recipients\r\nSubject: x\r\n\r\n.dot line\r\n" + line_300;
    const std::string long_line = "." + std::string(126, 'a') + "." + std::string(126, 'b') + "." +
                                  std::string(44, 'c') + "\r\n";
    std::string body = long_line + "..two\r\n.\r\nbare\n.after bare\r\nlone\r.\r\nMAIL FROM:<x@example.com>\r\n" +
                       std::string(126, 'y') + "\r.smuggled\r\n";
    for (std::size_t length : {125, 126, 127, 128, 253, 254}) body += "." + std::string(length, 'x') + "\r\n";
    std::string large = body;
    while (large.size() < 3 * smtp_file_buffer_size) large += ". " + std::to_string(large.size()) + "\r\n" + body;
    const names files = {header + rest, simple + body, simple + large + ".end", simple + "ends in a bare CR\r"};
    queue("7.smt", files[0], {{"MAIL FROM:<s@example.com>", ok}, {"RCPT TO:<t1@example.com>", ok},
                              {"RCPT TO:<t2@example.com>", ok}, {"RCPT TO:<c@example.com>", ok},
                              {"RCPT TO:<hidden@example.com>", ok}});
    for (std::size_t i = 1; i < files.size(); ++i) queue(std::to_string(9 + i) + ".smt", files[i], envelope_a_to_b);
    write_bytes(work / "notes.txt", "not queued");
    job_outcome outcome = run_queue(server, work, true);
    EXPECT_EQ(outcome.result, net_result::ok);
    names expected;
    for (const std::string& file : files) expected.push_back(stuffed(file));
    EXPECT_EQ(server.data_received(), expected);
    EXPECT_EQ(server.data_received()[1].find("\r\n.\r\n"), server.data_received()[1].size() - 5);
    EXPECT_EQ(list_names(work.path()), names{"notes.txt"});
    // One dot per chunk of at most 127 bytes: one for each short line, three for line_300.
    // The line of dots breaks after the 76th.
    EXPECT_NE(outcome.trace_text().find("C: DATA\r\nS: 354 go on\r\nC: ..........\r\n"), std::string::npos)
        << outcome.trace_text();
    EXPECT_NE(outcome.trace_text().find("C: " + std::string(76, '.') + "\r\n   ."), std::string::npos);
}

TEST(SmtpQueueFailure, StopsTheRunAndKeepsThatFileAndTheLaterOnes) {
    const struct {  // the contents of 1.smt; the reply to the data, when it is sent
        const char* name; std::string first; exchange_list exchanges; std::string after_data; net_result expected;
    } cases[] = {
        {"no envelope", simple, {}, "", net_result::file_error},
        {"no sender", "To: b@example.com\r\n\r\nx\r\n", {}, "", net_result::no_sender},
        {"MAIL FROM refused", simple, {{"MAIL FROM:<a@example.com>", "550 no\r\n"}, {"RSET", ok}}, "",
         net_result::error_reply},
        {"RCPT TO refused", simple,
         {envelope_a_to_b[0], {"RCPT TO:<b@example.com>", "550 no such user\r\n"}, {"RSET", ok}}, "",
         net_result::error_reply},
        {"DATA refused", simple, {envelope_a_to_b[0], envelope_a_to_b[1], {"DATA", "554 no\r\n"}, {"RSET", ok}}, "",
         net_result::error_reply},
        {"data refused after the end mark", simple,
         {envelope_a_to_b[0], envelope_a_to_b[1], {"DATA", "354 go on\r\n"}}, "552 too big\r\n", net_result::error_reply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir work;
        script_server server;
        server.send("220 hi\r\n").exchange({{"EHLO alice", ok}}).exchange(c.exchanges);
        if (!c.after_data.empty()) server.receive_data().send(c.after_data).exchange({{"RSET", ok}});
        write_bytes(work / "1.smt", c.first);
        write_bytes(work / "2.smt", simple);
        if (c.expected != net_result::file_error)
            write_envelope(work / "1.smt", c.expected == net_result::no_sender ? "" : "a@example.com", {"b@example.com"});
        write_envelope(work / "2.smt", "a@example.com", {"b@example.com"});
        const auto queued = tree_snapshot(work.path());
        EXPECT_EQ(run_queue(server, work).result, c.expected);
        EXPECT_EQ(tree_snapshot(work.path()), queued);
    }
}

// The connection is dropped: only its closing keeps the data from ending.
TEST(SmtpSendFile, UnreadableFileNeverGetsTheEndMark) {
    temp_dir directory;
    script_server server;
    server.send("220 hi\r\n").exchange({{"DATA", "354 go\r\n"}}).close().start();
    net_result code = run_connected({.port = server.port()}, [&](connection& link, thread& job) {
        net_result result = link.read_smtp_reply(job, nullptr);
        link.line() = "DATA\r\n";
        if (result == net_result::ok) result = link.send_line(job, true);
        if (result == net_result::ok) result = link.read_smtp_reply(job, nullptr);
        // A directory opens, but cannot be read.
        if (result == net_result::ok) result = smtp_send_file(link, job, directory.cp());
        smtp_reset(link, job);
        smtp_quit(link, job);
        return result;
    }).result;
    EXPECT_EQ(code, net_result::file_error);
    EXPECT_TRUE(server.wait_done());
    EXPECT_EQ(server.received(), "DATA\r\n");
}

}  // namespace
}  // namespace qm::test
