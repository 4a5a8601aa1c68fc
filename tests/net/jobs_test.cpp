// The job state protocol, and the send and receive jobs on their worker threads against scripted servers.

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "mail_job_fixture.h"
#include "net/result_codes.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

TEST(Job, CancelEndsAWaitingTraceAndLaterTracesReturnAtOnce) {
    function_job job([](thread& self) {
        self.show_trace("first");   // nobody takes it: only the cancel ends the wait
        self.show_trace("second");  // cancelled: returns at once
        return self.cancel_requested() ? net_result::cancelled : net_result::ok;
    });
    ASSERT_TRUE(job.start());
    while (!job.trace_waiting()) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(job.trace_text(), "first");
    job.request_cancel();
    EXPECT_EQ(job.close_handle(), net_result::cancelled);
    // A finished job stays finished, and a trace outside the running state does not wait.
    job.request_cancel();
    job.trace_taken();
    job.show_trace("ignored");  // on the test's own thread: would hang if it waited
    EXPECT_FALSE(job.trace_waiting());
    EXPECT_TRUE(job.is_finished());
    EXPECT_EQ(job.result(), net_result::cancelled);
}

using MailJobs = mail_job_test;

void login(script_server& server) {
    server.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"}});
}

TEST_F(MailJobs, TheReceiveJobTracesWithThePasswordMaskedAndCountsTheServersMessages) {
    write_bytes(dir_ / "uid.lst", "a\r\n");
    script_server pop;
    login(pop);
    pop.exchange({{"STAT", "+OK 2 60\r\n"}, {"UIDL 1", "+OK 1 a\r\n"}, {"DELE 1", "+OK\r\n"}, {"UIDL 2", "+OK 2 b\r\n"},
                  {"RETR 2", "+OK\r\nSubject: b\r\n\r\n..dot\r\n.\r\n"}, {"DELE 2", "+OK\r\n"}, {"QUIT", "+OK\r\n"}})
        .close().start();
    thread_pop job;
    prepare(job, pop);
    job.remove = true;
    EXPECT_EQ(job.progress().total, -1);  // not known before the server says
    names seen;
    EXPECT_EQ(run(job, [&](const std::string& text) {
        if (text.starts_with("C: "))
            seen.push_back(text.substr(3, 6) + std::to_string(job.progress().done) + "/" +
                           std::to_string(job.progress().total));
    }), net_result::ok);
    EXPECT_TRUE(pop.played());
    EXPECT_EQ(read_bytes(dir_ / "0.pop"), "Subject: b\r\n\r\n.dot\r\n");
    // One dot for each line of the message.
    EXPECT_EQ(trace_, "S: +OK ready\r\nC: USER alice\r\nS: +OK\r\nC: PASS ******\r\nS: +OK\r\nC: STAT\r\nS: +OK 2 60\r\n"
                      "C: UIDL 1\r\nS: +OK 1 a\r\nC: DELE 1\r\nS: +OK\r\nC: UIDL 2\r\nS: +OK 2 b\r\nC: RETR 2\r\nS: +OK\r\n"
                      "S: ...\r\nC: DELE 2\r\nS: +OK\r\nC: QUIT\r\nS: +OK\r\n");
    EXPECT_EQ(seen, (names{"USER a0/-1", "PASS *0/-1", "STAT\r\n0/-1", "UIDL 10/2", "DELE 10/2", "UIDL 21/2",
                           "RETR 21/2", "DELE 21/2", "QUIT\r\n2/2"}));
    EXPECT_EQ(job.password, "******");  // wiped once the login sent it
}

TEST_F(MailJobs, CancelFromAnotherThreadDuringADownloadLeavesNoFileAndTheOldUidList) {
    write_bytes(dir_ / "uid.lst", "old\r\n");
    script_server pop;
    login(pop);
    pop.exchange({{"STAT", "+OK 1 9000\r\n"}, {"UIDL 1", "+OK 1 new\r\n"},
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

TEST_F(MailJobs, TheSendJobCountsTheQueuedMessagesSent) {
    script_server smtp;
    smtp.send("220 hi\r\n").exchange({{"EHLO alice", "250 ok\r\n"}});
    for (const char* name : {"1.smt", "2.smt"}) {
        write_bytes(dir_ / name, "From: a@example.com\r\n\r\nx\r\n");
        write_envelope(dir_ / name, "a@example.com", {"b@example.com"});
        smtp.exchange({{"MAIL FROM:<a@example.com>", "250 ok\r\n"}, {"RCPT TO:<b@example.com>", "250 ok\r\n"},
                       {"DATA", "354 go on\r\n"}}).receive_data().send("250 ok\r\n");
    }
    smtp.exchange({{"QUIT", "221 bye\r\n"}}).close().start();
    thread_smtp job;
    prepare(job, smtp);
    names seen;
    EXPECT_EQ(run(job, [&](const std::string& text) {
        if (text.starts_with("C: MAIL"))
            seen.push_back(std::to_string(job.progress().done) + "/" + std::to_string(job.progress().total));
    }), net_result::ok);
    EXPECT_EQ(seen, (names{"0/2", "1/2"}));
    EXPECT_EQ(job.progress().done, 2);
}

// In a process that may not make another thread: as root, one that becomes
// "nobody" first, since root is not held to the limit.
[[noreturn]] void start_a_job_without_threads() {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    rlimit none{0, 0};
    if (::setrlimit(RLIMIT_NPROC, &none) != 0) ::_exit(3);
    thread_pop receive;
    receive.pop_server = "127.0.0.1";
    bool started = receive.start();
    bool ok = !started && receive.is_finished() && receive.close_handle() == net_result::connect_failed &&
              u8(job_result_message(receive)) == "接続に失敗しました.";
    ::_exit(ok ? 0 : 1);
}

TEST(MailJobsDeathTest, AJobWhoseThreadCannotStartIsFinishedWithCode5) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: earlier tests made threads
    EXPECT_EXIT(start_a_job_without_threads(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qm::test
