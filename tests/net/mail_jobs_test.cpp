// The receive, send and check jobs on their real worker threads against
// scripted servers: the trace hand-off, passwords, a cancel from another
// thread in the middle of a download, and a job whose thread cannot start.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "platform/string_table.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::read_bytes;
using test::script_server;
using test::temp_dir;
using names = std::vector<std::string>;

// The progress dialog's part: takes every trace text until the job ends.
names run_to_end(thread& job, const std::function<void(const std::string&)>& on_trace = {}) {
    names traces;
    while (!job.is_finished()) {
        if (job.trace_waiting()) {
            traces.push_back(job.trace_text());
            if (on_trace) on_trace(traces.back());
            job.trace_taken();
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    job.close_handle();
    return traces;
}

std::string joined(const names& texts) {
    std::string all;
    for (const auto& text : texts) all += text;
    return all;
}
void login(script_server& server) {
    server.send("+OK ready\r\n").expect("USER alice").send("+OK\r\n").expect("PASS s3cret").send("+OK\r\n");
}

void fill_pop(thread_pop& job, const script_server& server, const temp_dir& dir) {
    job.download_prefix = dir.cp();
    job.pop_server = "127.0.0.1";
    job.port = server.port();
    job.user_id = "alice";
    job.password = "s3cret";
    job.uid_list_path = dir.cp("uid.lst");
}

TEST(MailJobs, TheReceiveJobHandsItsTraceOverWithThePasswordMaskedAndWiped) {
    temp_dir dir;
    script_server pop;
    login(pop);
    pop.expect("STAT").send("+OK 1 30\r\n").expect("RETR 1").send("+OK\r\nSubject: a\r\n\r\n..dot\r\n.\r\n");
    pop.expect("DELE 1").send("+OK\r\n").expect("QUIT").send("+OK\r\n").close();
    pop.start();
    thread_pop receive;
    fill_pop(receive, pop, dir);
    receive.remove = true;
    receive.trace = true;
    ASSERT_TRUE(receive.start());
    names traces = run_to_end(receive);
    EXPECT_EQ(receive.result(), result_ok);
    EXPECT_EQ(pop.failures(), names{});
    EXPECT_EQ(read_bytes(dir / "0.pop"), "Subject: a\r\n\r\n.dot\r\n");
    EXPECT_EQ(traces[0], "S: +OK ready\r\n");
    EXPECT_EQ(traces[3], "C: PASS ******\r\n");
    EXPECT_EQ(joined(traces).find("s3cret"), std::string::npos);
    EXPECT_EQ(receive.password, "******");  // wiped once the login sent it

}

TEST(MailJobs, CancelFromAnotherThreadDuringADownloadLeavesNoFileAndTheOldUidList) {
    temp_dir dir;
    test::write_bytes(dir / "uid.lst", "old\r\n");
    script_server pop;
    login(pop);
    pop.expect("STAT").send("+OK 1 9000\r\n").expect("UIDL 1").send("+OK 1 new\r\n").expect("RETR 1");
    pop.send("+OK\r\nSubject: big\r\n\r\nfirst line\r\n").pause(8s);
    pop.start();
    thread_pop receive;
    fill_pop(receive, pop, dir);
    receive.trace = true;
    std::atomic<bool> downloading = false;
    std::thread canceller([&] {
        while (!downloading) std::this_thread::sleep_for(1ms);
        receive.request_cancel();
    });
    ASSERT_TRUE(receive.start());
    auto started = std::chrono::steady_clock::now();
    run_to_end(receive, [&](const std::string& text) { downloading = downloading || text == "."; });
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);  // not the server's pause
    EXPECT_EQ(receive.result(), result_cancelled);
    EXPECT_EQ(test::u8(job_result_message(receive)), "処理を中止しました.");
    EXPECT_EQ(test::list_names(dir.path()), names{"uid.lst"});
    EXPECT_EQ(read_bytes(dir / "uid.lst"), "old\r\n");
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
    bool ok = !started && receive.is_finished() && receive.close_handle() == result_connect_failed &&
              test::u8(job_result_message(receive)) == "接続に失敗しました.";
    ::_exit(ok ? 0 : 1);
}

TEST(MailJobs, AJobWhoseThreadCannotStartIsFinishedWithCode5) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: earlier tests made threads
    EXPECT_EXIT(start_a_job_without_threads(), ::testing::ExitedWithCode(0), "");
}

TEST(MailJobs, AFailedCertificateCheckNamesItsReason) {
    const auto& certificates = test::shared_test_certificates();
    test::scoped_env trust("SSL_CERT_FILE", certificates.ca_file.c_str());
    temp_dir dir;
    script_server pop(certificates.other_host);
    pop.start();
    thread_pop receive;
    fill_pop(receive, pop, dir);
    receive.ssl = true;
    ASSERT_TRUE(receive.start());
    run_to_end(receive);
    EXPECT_EQ(receive.result(), result_connect_failed);
    ASSERT_FALSE(receive.error_detail().empty());
    EXPECT_EQ(job_result_message(receive), load_string(str::net_connect_failed) + "\n(" + receive.error_detail() + ")");
    EXPECT_EQ(receive.password, "******");
}

}  // namespace
}  // namespace qm
