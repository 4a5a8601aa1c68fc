// The upgrade of a plain connection to TLS (SMTP STARTTLS, POP3 STLS) in the
// send and receive jobs, against scripted servers that play what a real
// server never would. Whatever goes wrong, nothing of the login or the mail
// leaves in the clear.

#include <functional>

#include "mail_job_fixture.h"
#include "net/result_codes.h"
#include "support/test_certificates.h"

namespace qm::test {
namespace {

const std::string ehlo_with_starttls = "250-mail.example.test\r\n250-AUTH PLAIN CRAM-MD5\r\n250 STARTTLS\r\n";
const std::string capa_with_stls = "+OK\r\nUSER\r\nSTLS\r\n.\r\n";

struct failure_case {
    const char* name;
    std::function<void(script_server&)> script;  // after the greeting
    net_result expected;
    std::string sent, detail;  // all the client sent before a handshake; the start of the reason
};

class Upgrade : public mail_job_test {
protected:
    void SetUp() override {
        write_bytes(dir_ / "1.smt", "Subject: hi\r\n\r\nbody\r\n");
        write_bytes(dir_ / "1.env", "a@example.test\r\nb@example.test\r\n");
    }
    net_result send(script_server& server) {
        thread_smtp job;
        prepare(job, server, "localhost");
        job.user_id = "alice";
        job.password = "s3cret";
        job.starttls = true;
        return run(job);
    }
    net_result receive(script_server& server) {
        thread_pop job;
        prepare(job, server, "localhost");
        job.apop = job.starttls = true;
        const net_result result = run(job);
        EXPECT_EQ(job.password, "******");  // wiped, sent or not
        return result;
    }
    void expect_nothing_sent_in_the_clear(const failure_case& test, bool smtp) {
        SCOPED_TRACE(test.name);
        script_server server;
        server.send(smtp ? "220 hi\r\n" : "+OK ready <1.2@mail.test>\r\n");
        test.script(server);
        server.start();
        const net_result result = smtp ? send(server) : receive(server);
        // Bytes of their own that come after the client looked are fed to the handshake, which fails.
        if (test.detail.empty() && result == net_result::connect_failed) return;
        EXPECT_EQ(result, test.expected) << detail_;
        EXPECT_TRUE(server.played());
        const std::string received = server.received();  // up to the handshake (a TLS record starts with 0x16)
        EXPECT_EQ(received.substr(0, received.find('\x16')), test.sent);
        EXPECT_TRUE(detail_.starts_with(test.detail)) << detail_;
        EXPECT_TRUE(message_.ends_with("\n(" + detail_ + ")")) << message_;
        EXPECT_EQ(list_names(dir_.path()), (names{"1.env", "1.smt"}));  // still queued, nothing downloaded
        EXPECT_EQ(trace_.find("evil"), std::string::npos);
    }

    const test_certificates& certificates_ = shared_test_certificates();
    scoped_env trust_{"SSL_CERT_FILE", certificates_.ca_file.c_str()};
};

TEST_F(Upgrade, SmtpSaysEhloAgainAfterTheHandshakeAndLogsInOnlyWithWhatThatReplyOffers) {
    script_server server;
    // The plain EHLO offers CRAM-MD5 and PLAIN; the one over TLS only LOGIN.
    server.send("220 hi\r\n").exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", "220 go ahead\r\n"}})
        .start_tls(certificates_.localhost)
        .exchange({{"EHLO alice", "250-mail.example.test\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n"},
                   {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"}, {"YWxpY2U=", "334 UGFzc3dvcmQ6\r\n"}, {"czNjcmV0", "235 ok\r\n"},
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
    // The EHLO offers STARTTLS, and the answer to it is `answer`.
    auto answered = [](std::string answer) {
        return [answer](script_server& s) { s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", answer}}); };
    };
    auto refused = [](std::string answer) {
        return [answer](script_server& s) {
            s.exchange({{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", answer}, {"QUIT", "221 bye\r\n"}});
        };
    };
    const failure_case cases[] = {
        {"no STARTTLS offered",
         [](script_server& s) {
             s.exchange({{"EHLO alice", "250-mail.example.test\r\n250 AUTH PLAIN LOGIN\r\n"}, {"QUIT", "221 bye\r\n"}});
         },
         net_result::tls_not_offered, "EHLO alice\r\nQUIT\r\n", "STARTTLS is not in the EHLO reply"},
        {"STARTTLS refused", refused("454 TLS not available\r\n"), net_result::tls_refused,
         "EHLO alice\r\nSTARTTLS\r\nQUIT\r\n", "454 TLS not available"},
        {"STARTTLS answered 250", refused("250 sure\r\n"), net_result::tls_refused, "EHLO alice\r\nSTARTTLS\r\nQUIT\r\n",
         "250 sure"},
        {"a reply injected with the 220", answered("220 go ahead\r\n250-evil\r\n250 AUTH PLAIN\r\n"),
         net_result::tls_injected, "EHLO alice\r\nSTARTTLS\r\n", "data arrived after the answer"},
        {"a reply injected right after the 220",
         [&](script_server& s) { answered("220 go ahead\r\n")(s); s.send("250 AUTH PLAIN\r\n"); },
         net_result::tls_injected, "EHLO alice\r\nSTARTTLS\r\n", ""},
        {"the server closes instead of the handshake", [&](script_server& s) { answered("220 go\r\n")(s); s.close(); },
         net_result::connect_failed, "EHLO alice\r\nSTARTTLS\r\n", "unexpected eof"},
        {"a certificate for another host",
         [&](script_server& s) { answered("220 go\r\n")(s); s.start_tls(c.other_host, false); },
         net_result::connect_failed, "EHLO alice\r\nSTARTTLS\r\n", "certificate verify failed"},
    };
    for (const auto& test : cases) expect_nothing_sent_in_the_clear(test, true);
}

TEST_F(Upgrade, PopAsksForCapabilitiesAgainAndKeepsThePlainGreetingsTimeStampForApop) {
    script_server server;
    server.send("+OK ready <1.2@mail.test>\r\n")
        .exchange({{"CAPA", "+OK\r\nSASL PLAIN\r\nSTLS\r\n.\r\n"}, {"STLS", "+OK begin TLS\r\n"}})
        .start_tls(certificates_.localhost)
        .exchange({{"CAPA", "+OK\r\nUSER\r\n.\r\n"}, {"APOP alice 7510f9fc927432d4bf4f66084bf79910", "+OK in\r\n"},
                   {"STAT", "+OK 0 0\r\n"}, {"QUIT", "+OK\r\n"}})
        .close().start();
    EXPECT_EQ(receive(server), net_result::ok) << detail_;
    EXPECT_TRUE(server.played());
    EXPECT_TRUE(trace_.starts_with("S: +OK ready <1.2@mail.test>\r\nC: CAPA\r\nS: +OK\r\nS: SASL PLAIN\r\nS: STLS\r\n"
                                   "S: .\r\nC: STLS\r\nS: +OK begin TLS\r\nC: CAPA\r\nS: +OK\r\nS: USER\r\nS: .\r\n"
                                   "C: APOP alice ********************************\r\n"))
        << trace_;
}

TEST_F(Upgrade, PopSendsNeitherUserNorPassWhenTheUpgradeFails) {
    const auto& c = certificates_;
    const failure_case cases[] = {
        {"no STLS in CAPA", [](script_server& s) { s.exchange({{"CAPA", "+OK\r\nUSER\r\n.\r\n"}, {"QUIT", "+OK\r\n"}}); },
         net_result::tls_not_offered, "CAPA\r\nQUIT\r\n", "STLS is not in the CAPA reply"},
        {"CAPA refused", [](script_server& s) { s.exchange({{"CAPA", "-ERR what\r\n"}, {"QUIT", "+OK\r\n"}}); },
         net_result::tls_not_offered, "CAPA\r\nQUIT\r\n", "STLS is not in the CAPA reply"},
        {"STLS refused",
         [](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "-ERR not now\r\n"}, {"QUIT", "+OK\r\n"}}); },
         net_result::tls_refused, "CAPA\r\nSTLS\r\nQUIT\r\n", "-ERR not now"},
        {"a reply injected with the +OK",
         [](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "+OK\r\n+OK evil\r\n"}}); },
         net_result::tls_injected, "CAPA\r\nSTLS\r\n", "data arrived after the answer"},
        {"the server closes instead of the handshake",
         [](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "+OK\r\n"}}).close(); },
         net_result::connect_failed, "CAPA\r\nSTLS\r\n", "unexpected eof"},
        {"a certificate for another host",
         [&c](script_server& s) { s.exchange({{"CAPA", capa_with_stls}, {"STLS", "+OK\r\n"}}).start_tls(c.other_host, false); },
         net_result::connect_failed, "CAPA\r\nSTLS\r\n", "certificate verify failed"},
    };
    for (const auto& test : cases) expect_nothing_sent_in_the_clear(test, false);
}

}  // namespace
}  // namespace qm::test
