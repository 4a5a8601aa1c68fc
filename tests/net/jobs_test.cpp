// The job state protocol, and the receive job on its worker thread against
// scripted servers.

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "platform/string_table.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

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
    EXPECT_TRUE(job.is_finished());
    // A finished job stays finished, and a trace outside the running state does not wait.
    job.request_cancel();
    job.trace_taken();
    job.show_trace("ignored");  // on the test's own thread: would hang if it waited
    EXPECT_FALSE(job.trace_waiting());
    EXPECT_TRUE(job.is_finished());
    EXPECT_EQ(job.result(), net_result::cancelled);
}

TEST(Job, DestroyingARunningJobStopsItsWorker) {
    std::atomic<bool> saw_cancel = false;
    {
        function_job job([&](thread& self) {
            while (!self.cancel_requested()) std::this_thread::sleep_for(1ms);
            saw_cancel = true;
            return net_result::cancelled;
        });
        ASSERT_TRUE(job.start());
    }
    EXPECT_TRUE(saw_cancel);
}

TEST(ResultCodes, EachCodeHasItsMessage) {
    std::string texts;
    for (int number = 4; number <= 17; ++number)
        texts += u8(load_string(result_message_id(static_cast<net_result>(number)))) + "|";
    EXPECT_EQ(texts,
              "サーバ名が無効です.|接続に失敗しました.|受信エラーが発生しました.|接続が閉じました.|"
              "送信エラーが発生しました.|メモリの確保に失敗しました.|ファイルの読み書きに失敗しました.|"
              "処理を中止しました.|サーバがエラー返答を返しました.|パスワードが無効です.|送信者が不明です.|"
              "サーバがSTARTTLS (STLS) に対応していません. パスワードもメールも送っていません.|"
              "サーバがSTARTTLS (STLS) を拒否しました. パスワードもメールも送っていません.|"
              "STARTTLS (STLS) の応答の後に余分なデータが届きました (改ざんのおそれ). パスワードもメールも送っていません.|");
    EXPECT_EQ(result_message_id(net_result::ok), 0);
}

class MailJobs : public ::testing::Test {
protected:
    void prepare(const script_server& server) {
        receive_.download_prefix = dir_.cp();
        receive_.pop_server = "127.0.0.1";
        receive_.port = server.port();
        receive_.user_id = "alice";
        receive_.password = "s3cret";
        receive_.uid_list_path = dir_.cp("uid.lst");
        receive_.trace = true;
    }
    static void login(script_server& server) {
        server.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"}});
    }

    temp_dir dir_;
    thread_pop receive_;
};

TEST_F(MailJobs, TheReceiveJobHandsItsTraceOverWithThePasswordMaskedAndWiped) {
    script_server pop;
    login(pop);
    pop.exchange({{"STAT", "+OK 1 30\r\n"}, {"UIDL 1", "+OK 1 a\r\n"}, {"RETR 1", "+OK\r\nSubject: a\r\n\r\n..dot\r\n.\r\n"},
                  {"DELE 1", "+OK\r\n"}, {"QUIT", "+OK\r\n"}}).close().start();
    prepare(pop);
    receive_.remove = true;
    ASSERT_TRUE(receive_.start());
    names traces = take_traces(receive_);
    EXPECT_EQ(receive_.result(), net_result::ok);
    EXPECT_EQ(pop.failures(), names{});
    EXPECT_EQ(read_bytes(dir_ / "0.pop"), "Subject: a\r\n\r\n.dot\r\n");
    // One dot for each line of the message.
    EXPECT_EQ(std::accumulate(traces.begin(), traces.end(), std::string()),
              "S: +OK ready\r\nC: USER alice\r\nS: +OK\r\nC: PASS ******\r\nS: +OK\r\nC: STAT\r\n"
              "S: +OK 1 30\r\nC: UIDL 1\r\nS: +OK 1 a\r\nC: RETR 1\r\nS: +OK\r\nS: ...\r\nC: DELE 1\r\nS: +OK\r\nC: QUIT\r\nS: +OK\r\n");
    EXPECT_EQ(receive_.password, "******");  // wiped once the login sent it
}

TEST_F(MailJobs, CancelFromAnotherThreadDuringADownloadLeavesNoFileAndTheOldUidList) {
    write_bytes(dir_ / "uid.lst", "old\r\n");
    script_server pop;
    login(pop);
    pop.exchange({{"STAT", "+OK 1 9000\r\n"}, {"UIDL 1", "+OK 1 new\r\n"},
                  {"RETR 1", "+OK\r\nSubject: big\r\n\r\nfirst line\r\n"}}).pause(8s).start();
    prepare(pop);
    std::atomic<bool> downloading = false;
    std::chrono::steady_clock::time_point cancelled;
    std::thread canceller([&] {
        while (!downloading) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(30ms);  // into the read's wait
        cancelled = std::chrono::steady_clock::now();
        receive_.request_cancel();
    });
    ASSERT_TRUE(receive_.start());
    take_traces(receive_, [&](const std::string& text) { downloading = downloading || text == "."; });
    auto finished = std::chrono::steady_clock::now();
    canceller.join();
    EXPECT_LT(finished - cancelled, 1s);  // about 10 ms, not the server's pause
    EXPECT_EQ(receive_.result(), net_result::cancelled);
    EXPECT_EQ(u8(job_result_message(receive_)), "処理を中止しました.");
    EXPECT_EQ(list_names(dir_.path()), names{"uid.lst"});
    EXPECT_EQ(read_bytes(dir_ / "uid.lst"), "old\r\n");
}

TEST_F(MailJobs, ProgressCountsTheServersMessagesAsTheyAreDone) {
    write_bytes(dir_ / "uid.lst", "a\r\n");
    script_server pop;
    login(pop);
    pop.exchange({{"STAT", "+OK 2 60\r\n"}, {"UIDL 1", "+OK 1 a\r\n"}, {"UIDL 2", "+OK 2 b\r\n"},
                  {"RETR 2", "+OK\r\nSubject: b\r\n\r\nb\r\n.\r\n"}, {"QUIT", "+OK\r\n"}}).close().start();
    prepare(pop);
    EXPECT_EQ(receive_.progress().total, -1);  // not known before the server says
    std::vector<std::string> seen;
    ASSERT_TRUE(receive_.start());
    take_traces(receive_, [&](const std::string& text) {
        if (!text.starts_with("C: ")) return;
        const thread::progress_count count = receive_.progress();
        seen.push_back(text.substr(3, 6) + std::to_string(count.done) + "/" + std::to_string(count.total));
    });
    EXPECT_EQ(receive_.result(), net_result::ok);
    EXPECT_EQ(seen, (names{"USER a0/-1", "PASS *0/-1", "STAT\r\n0/-1", "UIDL 10/2", "UIDL 21/2", "RETR 21/2", "QUIT\r\n2/2"}));
}

TEST(SendJob, ProgressCountsTheQueuedMessagesSent) {
    temp_dir work;
    script_server smtp;
    smtp.send("220 hi\r\n").exchange({{"HELO alice", "250 ok\r\n"}});
    for (const char* name : {"1.smt", "2.smt"}) {
        write_bytes(work / name, "From: a@example.com\r\n\r\nx\r\n");
        write_envelope(work / name, "a@example.com", {"b@example.com"});
        smtp.exchange({{"MAIL FROM:<a@example.com>", "250 ok\r\n"}, {"RCPT TO:<b@example.com>", "250 ok\r\n"},
                       {"DATA", "354 go on\r\n"}}).receive_data().send("250 ok\r\n");
    }
    smtp.exchange({{"QUIT", "221 bye\r\n"}}).close().start();
    thread_smtp job;
    job.queue_directory = work.cp();
    job.smtp_server = "127.0.0.1";
    job.port = smtp.port();
    job.greeting_name = "alice";
    job.trace = true;
    std::vector<std::string> seen;
    ASSERT_TRUE(job.start());
    take_traces(job, [&](const std::string& text) {
        if (!text.starts_with("C: MAIL")) return;
        seen.push_back(std::to_string(job.progress().done) + "/" + std::to_string(job.progress().total));
    });
    EXPECT_EQ(job.result(), net_result::ok);
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

TEST_F(MailJobs, AFailedCertificateCheckNamesItsReason) {
    const auto& certificates = shared_test_certificates();
    scoped_env trust("SSL_CERT_FILE", certificates.ca_file.c_str());
    script_server pop(certificates.other_host);
    pop.start();
    prepare(pop);
    receive_.ssl = true;
    ASSERT_TRUE(receive_.start());
    take_traces(receive_);
    EXPECT_EQ(receive_.result(), net_result::connect_failed);
    ASSERT_FALSE(receive_.error_detail().empty());
    EXPECT_EQ(job_result_message(receive_),
              load_string(str::net_connect_failed) + "\n(" + receive_.error_detail() + ")");
    EXPECT_EQ(receive_.password, "******");
}

}  // namespace
}  // namespace qm::test
