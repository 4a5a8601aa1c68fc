// The job state protocol, and the send and receive jobs on their worker threads against scripted servers:
// a round's trace and progress, a cancel, and the upgrade of a plain connection to TLS (SMTP STARTTLS,
// POP3 STLS) played as a real server never would. Whatever goes wrong in the upgrade, nothing of the
// login or the mail leaves in the clear.

#include <atomic>
#include <chrono>
#include <functional>
#include <numeric>
#include <string>
#include <thread>

#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

// The send and receive jobs as the window starts them, with their work directory, against a scripted server.
class MailJobs : public ::testing::Test {
protected:
    // A receive of alice's mail (password "s3cret") into the work directory, with its UID list there.
    void prepare(thread_pop& job, const script_server& server, const char* host = "127.0.0.1") {
        job.download_prefix = dir_.cp();
        job.pop_server = host;
        job.port = server.port();
        job.user_id = "alice";
        job.password = "s3cret";
        job.uid_list_path = dir_.cp("uid.lst");
        job.trace = true;
    }
    // Starts the job and takes its traces (each also to `on_trace`) until it ends; its result.
    net_result run(mail_job& job, const std::function<void(const std::string&)>& on_trace = {}) {
        EXPECT_TRUE(job.start());
        const names traces = take_traces(job, on_trace);
        trace_ = std::accumulate(traces.begin(), traces.end(), std::string());
        message_ = u8(job_result_message(job));
        detail_ = job.error_detail();
        progress_ = job.progress();
        return job.result();
    }

    temp_dir dir_;
    std::string trace_, message_, detail_;  // the whole trace, the result's message (UTF-8), the error detail
    thread::progress_count progress_;       // at the end
};

using namespace std::chrono_literals;

TEST(Job, CancelEndsAWaitingTraceAndLaterTracesReturnAtOnce) {
    function_job job([](thread& self) {
        self.show_trace("first");   // nobody takes it: only the cancel ends the wait
        self.show_trace("second");  // cancelled: returns at once
        return self.cancel_requested() ? net_result::cancelled : net_result::ok;
    });
    ASSERT_TRUE(job.start());
    EXPECT_FALSE(job.start());  // one worker a job
    while (!job.trace_waiting()) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(job.trace_text(), "first");
    job.request_cancel();
    EXPECT_EQ(job.close_handle(), net_result::cancelled);
    job.show_trace("ignored");  // a finished job's trace does not wait: on the test's own thread, it would hang
}

// Greets and takes alice's login, then plays `after`.
script_server& logged_in(script_server& server, const exchange_list& after) {
    return server.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"}}).exchange(after);
}

TEST_F(MailJobs, TheReceiveJobTracesWithThePasswordMaskedAndCountsTheServersMessages) {
    write_bytes(dir_ / "uid.lst", "a\r\n");
    script_server pop;
    logged_in(pop, {{"CAPA", "+OK\r\nUIDL\r\n.\r\n"}, {"STAT", "+OK 2 60\r\n"}, {"UIDL", "+OK\r\n1 a\r\n2 b\r\n.\r\n"},
                    {"DELE 1", "+OK\r\n"}, {"RETR 2", "+OK\r\nSubject: b\r\n\r\n..dot\r\n.\r\n"}, {"DELE 2", "+OK\r\n"},
                    {"QUIT", "+OK\r\n"}}).close().start();
    thread_pop job;
    prepare(job, pop);
    job.remove = true;
    EXPECT_EQ(run(job), net_result::ok);
    EXPECT_TRUE(pop.played());
    EXPECT_EQ(read_bytes(dir_ / "0.pop"), "Subject: b\r\n\r\n.dot\r\n");
    // One dot for each line of the message.
    EXPECT_EQ(trace_, "S: +OK ready\r\nC: USER alice\r\nS: +OK\r\nC: PASS ******\r\nS: +OK\r\nC: CAPA\r\nS: +OK\r\n"
                      "S: UIDL\r\nS: .\r\nC: STAT\r\nS: +OK 2 60\r\nC: UIDL\r\nS: +OK\r\nS: 1 a\r\nS: 2 b\r\nS: .\r\n"
                      "C: DELE 1\r\nS: +OK\r\nC: RETR 2\r\nS: +OK\r\nS: ...\r\nC: DELE 2\r\nS: +OK\r\nC: QUIT\r\n"
                      "S: +OK\r\n");
    EXPECT_EQ(std::pair(progress_.done, progress_.total), std::pair(2, 2));
    // The list names what was deleted: should the QUIT not reach the server, the next round deletes it unfetched.
    EXPECT_EQ(read_bytes(dir_ / "uid.lst"), "a\r\nb\r\n");
    EXPECT_EQ(job.password, "******");  // wiped once the login sent it
}

TEST_F(MailJobs, CancelFromAnotherThreadDuringADownloadLeavesNoFileAndTheOldUidList) {
    write_bytes(dir_ / "uid.lst", "old\r\n");
    script_server pop;
    logged_in(pop, {{"CAPA", "+OK\r\n.\r\n"}, {"STAT", "+OK 1 9000\r\n"}, {"UIDL", "+OK\r\n1 new\r\n.\r\n"},
                    {"RETR 1", "+OK\r\nSubject: big\r\n\r\nfirst line\r\n"}}).pause(8s).start();
    thread_pop job;
    prepare(job, pop);
    std::atomic<bool> downloading = false;
    std::chrono::steady_clock::time_point cancelled;
    std::thread canceller([&] {
        while (!downloading) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(30ms);  // into the read's wait
        cancelled = std::chrono::steady_clock::now();
        job.request_cancel();
    });
    EXPECT_EQ(run(job, [&](const std::string& text) { downloading = downloading || text == "."; }),
              net_result::cancelled);
    const auto finished = std::chrono::steady_clock::now();
    canceller.join();
    EXPECT_LT(finished - cancelled, 1s);  // about 10 ms, not the server's pause
    EXPECT_EQ(message_, "処理を中止しました.");
    EXPECT_EQ(list_names(dir_.path()), names{"uid.lst"});
    EXPECT_EQ(read_bytes(dir_ / "uid.lst"), "old\r\n");
}

// A message past the download limit (a server that never ends it) stops the receive: nothing of it stays,
// the message before it waits for filing, and no QUIT lets the server delete what was marked.
TEST_F(MailJobs, AMessagePastTheDownloadLimitStopsTheReceiveWithoutQuit) {
    script_server pop;
    logged_in(pop, {{"CAPA", "+OK\r\n.\r\n"}, {"STAT", "+OK 2 9000\r\n"}, {"UIDL", "+OK\r\n1 small\r\n2 endless\r\n.\r\n"},
                    {"RETR 1", "+OK\r\nSubject: small\r\n\r\nhi\r\n.\r\n"}, {"DELE 1", "+OK\r\n"},
                    {"RETR 2", "+OK\r\n" + std::string(3000, 'x') + "\r\n"}}).pause(2s).start();
    thread_pop job;
    prepare(job, pop);
    job.remove = true;
    job.size_limit = 2048;
    EXPECT_EQ(run(job), net_result::message_too_large);
    EXPECT_EQ(detail_, "over 2048 bytes");
    EXPECT_EQ(list_names(dir_.path()), (names{"0.pop", "uid.lst"}));
    EXPECT_EQ(read_bytes(dir_ / "uid.lst"), "small\r\n");
    EXPECT_EQ(pop.received().find("QUIT"), std::string::npos);
}

const std::string ehlo_with_starttls = "250-mail.example.test\r\n250-AUTH PLAIN CRAM-MD5\r\n250 STARTTLS\r\n";

class Upgrade : public MailJobs {
protected:
    void SetUp() override {
        write_bytes(dir_ / "1.smt", "Subject: hi\r\n\r\nbody\r\n");
        write_bytes(dir_ / "1.env", "a@example.test\r\nb@example.test\r\n");
    }
    // A send of the work directory's queue, greeting as alice and logging in as her.
    net_result send(script_server& server) {
        thread_smtp job;
        job.queue_directory = dir_.cp();
        job.smtp_server = "localhost";
        job.port = server.port();
        job.greeting_name = job.user_id.emplace("alice");
        job.password = "s3cret";
        job.starttls = job.trace = true;
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
    EXPECT_EQ(std::pair(progress_.done, progress_.total), std::pair(1, 1));
    EXPECT_TRUE(trace_.starts_with("S: 220 hi\r\nC: EHLO alice\r\nS: 250-mail.example.test\r\n"
                                   "S: 250-AUTH PLAIN CRAM-MD5\r\nS: 250 STARTTLS\r\nC: STARTTLS\r\nS: 220 go ahead\r\n"
                                   "C: EHLO alice\r\nS: 250-mail.example.test\r\nS: 250-AUTH LOGIN\r\n")) << trace_;
}

// The script enforces CAPA again over TLS and the digest of the plain greeting's time stamp.
TEST_F(Upgrade, PopAsksForCapabilitiesAgainAndKeepsThePlainGreetingsTimeStampForApop) {
    script_server server;
    server.send("+OK ready <1.2@mail.test>\r\n")
        .exchange({{"CAPA", "+OK\r\nSASL PLAIN\r\nSTLS\r\n.\r\n"}, {"STLS", "+OK begin TLS\r\n"}})
        .start_tls(certificates_.localhost)
        .exchange({{"CAPA", "+OK\r\nUSER\r\n.\r\n"}, {"APOP alice 7510f9fc927432d4bf4f66084bf79910", "+OK in\r\n"},
                   {"STAT", "+OK 0 0\r\n"}, {"QUIT", "+OK\r\n"}}).close().start();
    EXPECT_EQ(receive(server), net_result::ok) << detail_;
    EXPECT_TRUE(server.played());
}

// Whatever goes wrong in the upgrade, SMTP sends nothing of the login or the mail, POP3 neither USER nor PASS.
TEST_F(Upgrade, NothingOfTheLoginOrTheMailGoesOutWhenTheUpgradeFails) {
    auto starttls = [](const char* answer) { return exchange_list{{"EHLO alice", ehlo_with_starttls}, {"STARTTLS", answer}}; };
    auto stls = [](const char* answer) { return exchange_list{{"CAPA", "+OK\r\nUSER\r\nSTLS\r\n.\r\n"}, {"STLS", answer}}; };
    const std::string ehlo_sent = "EHLO alice\r\nSTARTTLS\r\n", capa_sent = "CAPA\r\nSTLS\r\n";
    // What the server does after the exchanges: nothing more, take the QUIT, close, or a handshake with a
    // certificate for another host.
    enum class then { nothing, quit, close, other_host };
    // The exchanges follow the greeting; `sent` is all the client sent before a handshake, `detail` the start of
    // the reason.
    const struct {
        const char* name; bool smtp; exchange_list exchanges; then after; net_result expected; std::string sent, detail;
    } cases[] = {
        {"no STARTTLS offered", true, {{"EHLO alice", "250-mail.example.test\r\n250 AUTH PLAIN LOGIN\r\n"}},
         then::quit, net_result::tls_not_offered, "EHLO alice\r\nQUIT\r\n", "STARTTLS is not in the EHLO reply"},
        {"STARTTLS answered 250", true, starttls("250 sure\r\n"), then::quit, net_result::tls_refused,
         ehlo_sent + "QUIT\r\n", "250 sure"},
        {"a reply injected with the 220", true, starttls("220 go ahead\r\n250-evil\r\n250 AUTH PLAIN\r\n"),
         then::nothing, net_result::tls_injected, ehlo_sent, "data arrived after the answer"},
        {"the server closes instead of the handshake", true, starttls("220 go\r\n"), then::close,
         net_result::connect_failed, ehlo_sent, "unexpected eof"},
        {"a certificate for another host", true, starttls("220 go\r\n"), then::other_host, net_result::connect_failed,
         ehlo_sent, "certificate verify failed"},
        {"no STLS in CAPA", false, {{"CAPA", "+OK\r\nUSER\r\n.\r\n"}}, then::quit, net_result::tls_not_offered,
         "CAPA\r\nQUIT\r\n", "STLS is not in the CAPA reply"},
        {"STLS refused", false, stls("-ERR not now\r\n"), then::quit, net_result::tls_refused,
         capa_sent + "QUIT\r\n", "-ERR not now"},
        {"a reply injected with the +OK", false, stls("+OK\r\n+OK evil\r\n"), then::nothing, net_result::tls_injected,
         capa_sent, "data arrived after the answer"},
        // (A handshake that fails is the connection's, met with SMTP.)
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        script_server server;
        server.send(test.smtp ? "220 hi\r\n" : "+OK ready <1.2@mail.test>\r\n").exchange(test.exchanges);
        switch (test.after) {
        case then::nothing: break;
        case then::quit: server.exchange({{"QUIT", test.smtp ? "221 bye\r\n" : "+OK\r\n"}}); break;
        case then::close: server.close(); break;
        case then::other_host: server.start_tls(certificates_.other_host, false); break;
        }
        server.start();
        EXPECT_EQ(test.smtp ? send(server) : receive(server), test.expected) << detail_;
        EXPECT_TRUE(server.played());
        const std::string received = server.received();  // up to the handshake (a TLS record starts with 0x16)
        EXPECT_EQ(received.substr(0, received.find('\x16')), test.sent);
        EXPECT_TRUE(detail_.starts_with(test.detail)) << detail_;
        EXPECT_TRUE(message_.ends_with("\n(" + detail_ + ")")) << message_;
        EXPECT_EQ(list_names(dir_.path()), (names{"1.env", "1.smt"}));  // still queued, nothing downloaded
        EXPECT_EQ(trace_.find("evil"), std::string::npos);
    }
}

}  // namespace
}  // namespace qm::test
