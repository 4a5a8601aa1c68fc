// The upgrade of a plain connection to TLS (SMTP STARTTLS, POP3 STLS) in the
// send and receive jobs, against scripted servers that play what a real
// server never would: a stripped capability, a refused upgrade, plain text
// slipped in after the server's answer, a server that closes instead of the
// handshake, and a certificate that must not pass. Whatever goes wrong,
// nothing of the login or the mail leaves in the clear.

#include <numeric>

#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

const std::string ehlo_with_starttls = "250-mail.example.test\r\n250-AUTH PLAIN CRAM-MD5\r\n250 STARTTLS\r\n";
const std::string ehlo_without_starttls = "250-mail.example.test\r\n250 AUTH PLAIN LOGIN\r\n";
const std::string ehlo_after_tls = "250-mail.example.test\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n";
const std::string capa_with_stls = "+OK\r\nUSER\r\nSTLS\r\n.\r\n";

class Upgrade : public ::testing::Test {
protected:
    void SetUp() override {
        write_bytes(dir_ / "1.smt", "Subject: hi\r\n\r\nbody\r\n");
        write_bytes(dir_ / "1.env", "a@example.test\r\nb@example.test\r\n");
    }

    net_result send(script_server& server) {
        thread_smtp job;
        job.queue_directory = dir_.cp();
        job.smtp_server = "localhost";
        job.port = server.port();
        job.greeting_name = "alice";
        job.user_id = "alice";
        job.password = "s3cret";
        job.starttls = true;
        job.trace = true;
        return run(job);
    }
    net_result receive(script_server& server, bool apop = false) {
        thread_pop job;
        job.download_prefix = dir_.cp();
        job.pop_server = "localhost";
        job.port = server.port();
        job.user_id = "alice";
        job.password = "s3cret";
        job.uid_list_path = dir_.cp("uid.lst");
        job.apop = apop;
        job.starttls = true;
        job.trace = true;
        return run(job);
    }
    net_result run(mail_job& job) {
        EXPECT_TRUE(job.start());
        const std::vector<std::string> traces = take_traces(job);
        trace_ = std::accumulate(traces.begin(), traces.end(), std::string());
        message_ = u8(job_result_message(job));
        detail_ = job.error_detail();
        return job.result();
    }

    const test_certificates& certificates_ = shared_test_certificates();
    scoped_env trust_{"SSL_CERT_FILE", certificates_.ca_file.c_str()};
    temp_dir dir_;
    std::string trace_, message_, detail_;
};

TEST_F(Upgrade, SmtpSaysEhloAgainAfterTheHandshakeAndLogsInOnlyWithWhatThatReplyOffers) {
    script_server server;
    // The plain EHLO offers CRAM-MD5 and PLAIN; the one over TLS only LOGIN.
    server.send("220 hi\r\n").exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "220 go ahead\r\n"}})
        .start_tls(certificates_.localhost)
        .exchange({{"EHLO alice", ehlo_after_tls}, {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
                   {"YWxpY2U=", "334 UGFzc3dvcmQ6\r\n"}, {"czNjcmV0", "235 ok\r\n"},
                   {"MAIL FROM:<a@example.test>", "250 ok\r\n"}, {"RCPT TO:<b@example.test>", "250 ok\r\n"},
                   {"DATA", "354 go\r\n"}})
        .receive_data().send("250 queued\r\n").exchange({{"QUIT", "221 bye\r\n"}}).close().start();
    EXPECT_EQ(send(server), net_result::ok) << detail_;
    EXPECT_TRUE(server.played());
    EXPECT_FALSE(exists(dir_ / "1.smt"));
    EXPECT_TRUE(trace_.starts_with("S: 220 hi\r\nC: EHLO alice\r\nS: 250-mail.example.test\r\n"
                                   "S: 250-AUTH PLAIN CRAM-MD5\r\nS: 250 STARTTLS\r\nC: STARTTLS\r\nS: 220 go ahead\r\n"
                                   "C: EHLO alice\r\nS: 250-mail.example.test\r\nS: 250-AUTH LOGIN\r\n"))
        << trace_;
}

TEST_F(Upgrade, SmtpSendsNothingOfTheLoginOrTheMailWhenTheUpgradeFails) {
    const auto& c = certificates_;
    const struct {
        const char* name;
        std::function<void(script_server&)> script;
        net_result expected;
        std::string sent, detail;  // all the client sent; the start of the reason
    } cases[] = {
        {"no STARTTLS offered",
         [](script_server& s) { s.exchange({{"EHLO alice", ehlo_without_starttls}, {"QUIT", "221 bye\r\n"}}); },
         net_result::tls_not_offered, "EHLO alice\r\nQUIT\r\n", "STARTTLS is not in the EHLO reply"},
        {"STARTTLS refused",
         [](script_server& s) {
             s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "454 TLS not available\r\n"},
                         {"QUIT", "221 bye\r\n"}});
         },
         net_result::tls_refused, "EHLO alice\r\nSTARTTLS\r\nQUIT\r\n", "454 TLS not available"},
        {"STARTTLS answered 250", [](script_server& s) {
             s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "250 sure\r\n"}, {"QUIT", "221 bye\r\n"}});
         },
         net_result::tls_refused, "EHLO alice\r\nSTARTTLS\r\nQUIT\r\n", "250 sure"},
        {"a reply injected with the 220",
         [](script_server& s) {
             s.expect("EHLO alice").send(ehlo_with_starttls).expect("STARTTLS")
                 .send("220 go ahead\r\n250-evil\r\n250 AUTH PLAIN\r\n");
         },
         net_result::tls_injected, "EHLO alice\r\nSTARTTLS\r\n", "data arrived after the answer"},
        {"a reply injected right after the 220",
         [](script_server& s) {
             s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "220 go ahead\r\n"}})
                 .send("250 AUTH PLAIN\r\n");
         },
         net_result::tls_injected, "EHLO alice\r\nSTARTTLS\r\n", ""},
        {"the server closes instead of the handshake",
         [](script_server& s) { s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "220 go\r\n"}}).close(); },
         net_result::connect_failed, "EHLO alice\r\nSTARTTLS\r\n", "unexpected eof"},
        {"a certificate for another host",
         [&c](script_server& s) {
             s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "220 go\r\n"}}).start_tls(c.other_host, false);
         },
         net_result::connect_failed, "EHLO alice\r\nSTARTTLS\r\n", "certificate verify failed"},
        {"a self-signed certificate",
         [&c](script_server& s) {
             s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "220 go\r\n"}}).start_tls(c.self_signed, false);
         },
         net_result::connect_failed, "EHLO alice\r\nSTARTTLS\r\n", "certificate verify failed"},
    };
    for (const auto& test : cases) {
        script_server server;
        server.send("220 hi\r\n");
        test.script(server);
        server.start();
        const net_result result = send(server);
        // Bytes of their own that come after the client looked are fed to the handshake, which fails.
        if (test.detail.empty() && result == net_result::connect_failed) continue;
        EXPECT_EQ(result, test.expected) << test.name << ": " << detail_;
        EXPECT_TRUE(server.played()) << test.name;
        EXPECT_TRUE(server.wait_done());
        // What the client sent before its handshake began (a TLS record starts with 0x16).
        const std::string received = server.received();
        EXPECT_EQ(received.substr(0, received.find('\x16')), test.sent) << test.name;
        EXPECT_TRUE(detail_.starts_with(test.detail)) << test.name << ": " << detail_;
        EXPECT_TRUE(message_.ends_with("\n(" + detail_ + ")")) << test.name << ": " << message_;
        EXPECT_TRUE(exists(dir_ / "1.smt")) << test.name;  // still queued
        EXPECT_EQ(trace_.find("evil"), std::string::npos) << test.name;
    }
}

TEST_F(Upgrade, PopAsksForCapabilitiesAgainAndKeepsThePlainGreetingsTimeStampForApop) {
    script_server server;
    server.send("+OK ready <1.2@mail.test>\r\n")
        .exchange({{"CAPA", "+OK\r\nSASL PLAIN\r\nSTLS\r\n.\r\n"}, {"STLS", "+OK begin TLS\r\n"}})
        .start_tls(certificates_.localhost)
        .exchange({{"CAPA", "+OK\r\nUSER\r\n.\r\n"}, {"APOP alice 7510f9fc927432d4bf4f66084bf79910", "+OK in\r\n"},
                   {"STAT", "+OK 0 0\r\n"}, {"QUIT", "+OK\r\n"}})
        .close().start();
    EXPECT_EQ(receive(server, true), net_result::ok) << detail_;
    EXPECT_TRUE(server.played());
    EXPECT_TRUE(trace_.starts_with("S: +OK ready <1.2@mail.test>\r\nC: CAPA\r\nS: +OK\r\nS: SASL PLAIN\r\nS: STLS\r\n"
                                   "S: .\r\nC: STLS\r\nS: +OK begin TLS\r\nC: CAPA\r\nS: +OK\r\nS: USER\r\nS: .\r\n"
                                   "C: APOP alice ********************************\r\n"))
        << trace_;
}

TEST_F(Upgrade, PopSendsNeitherUserNorPassWhenTheUpgradeFails) {
    const auto& c = certificates_;
    const struct {
        const char* name;
        std::function<void(script_server&)> script;
        net_result expected;
        std::string sent, detail;
    } cases[] = {
        {"no STLS in CAPA", [](script_server& s) { s.exchange({{"CAPA", "+OK\r\nUSER\r\n.\r\n"}, {"QUIT", "+OK\r\n"}}); },
         net_result::tls_not_offered, "CAPA\r\nQUIT\r\n", "STLS is not in the CAPA reply"},
        {"CAPA refused", [](script_server& s) { s.exchange({{"CAPA", "-ERR what\r\n"}, {"QUIT", "+OK\r\n"}}); },
         net_result::tls_not_offered, "CAPA\r\nQUIT\r\n", "STLS is not in the CAPA reply"},
        {"STLS refused",
         [](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "-ERR not now\r\n"}, {"QUIT", "+OK\r\n"}}); },
         net_result::tls_refused, "CAPA\r\nSTLS\r\nQUIT\r\n", "-ERR not now"},
        {"a reply injected with the +OK",
         [](script_server& s) { s.expect("CAPA").send(capa_with_stls).expect("STLS").send("+OK\r\n+OK evil\r\n"); },
         net_result::tls_injected, "CAPA\r\nSTLS\r\n", "data arrived after the answer"},
        {"the server closes instead of the handshake",
         [](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "+OK\r\n"}}).close(); },
         net_result::connect_failed, "CAPA\r\nSTLS\r\n", "unexpected eof"},
        {"a certificate for another host",
         [&c](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "+OK\r\n"}}).start_tls(c.other_host, false); },
         net_result::connect_failed, "CAPA\r\nSTLS\r\n", "certificate verify failed"},
    };
    for (const auto& test : cases) {
        script_server server;
        server.send("+OK ready <1.2@mail.test>\r\n");
        test.script(server);
        server.start();
        EXPECT_EQ(receive(server, true), test.expected) << test.name << ": " << detail_;
        EXPECT_TRUE(server.played()) << test.name;
        // What the client sent before its handshake began (a TLS record starts with 0x16).
        const std::string received = server.received();
        EXPECT_EQ(received.substr(0, received.find('\x16')), test.sent) << test.name;
        EXPECT_TRUE(detail_.starts_with(test.detail)) << test.name << ": " << detail_;
        EXPECT_TRUE(message_.ends_with("\n(" + detail_ + ")")) << test.name << ": " << message_;
        EXPECT_EQ(trace_.find("evil"), std::string::npos) << test.name;
    }
}

}  // namespace
}  // namespace qm::test
