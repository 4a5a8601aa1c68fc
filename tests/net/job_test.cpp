#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "net/result_codes.h"
#include "platform/string_table.h"
#include "support/job_runner.h"
#include "support/test_support.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::function_job;

TEST(Job, HandsTraceTextsOverInOrderAndFinishesWithTheResult) {
    auto outcome = test::run_job([](thread& job) {
        for (int i = 0; i < 20; ++i) job.show_trace("line " + std::to_string(i) + "\r\n");
        return result_error_reply;
    });
    ASSERT_EQ(outcome.traces.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(outcome.traces[i], "line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(outcome.result, result_error_reply);
}

TEST(Job, CancelEndsAWaitingTraceAndLaterTracesReturnAtOnce) {
    function_job job([](thread& self) {
        self.show_trace("first");   // nobody takes it: only the cancel ends the wait
        self.show_trace("second");  // cancelled: returns at once
        return self.cancel_requested() ? result_cancelled : result_ok;
    });
    ASSERT_TRUE(job.start());
    while (!job.trace_waiting()) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(job.trace_text(), "first");
    job.request_cancel();
    EXPECT_EQ(job.close_handle(), result_cancelled);
    EXPECT_TRUE(job.is_finished());
    // A finished job stays finished: neither a cancel nor a taken trace changes it.
    job.request_cancel();
    job.trace_taken();
    EXPECT_TRUE(job.is_finished());
    EXPECT_EQ(job.result(), result_cancelled);
}

TEST(Job, ShowTraceOutsideTheRunningStateDoesNotWait) {
    function_job job([](thread&) { return result_ok; });
    job.request_cancel();
    job.show_trace("ignored");  // on the test's own thread: would hang if it waited
    EXPECT_FALSE(job.trace_waiting());
}

TEST(Job, DestroyingARunningJobStopsItsWorker) {
    std::atomic<bool> saw_cancel = false;
    {
        function_job job([&](thread& self) {
            while (!self.cancel_requested()) std::this_thread::sleep_for(1ms);
            saw_cancel = true;
            return result_cancelled;
        });
        ASSERT_TRUE(job.start());
    }
    EXPECT_TRUE(saw_cancel);
}

TEST(ResultCodes, EachCodeHasItsMessage) {
    const std::pair<int, const char*> messages[] = {
        {result_bad_host, "サーバ名が無効です."},          {result_connect_failed, "接続に失敗しました."},
        {result_receive_error, "受信エラーが発生しました."}, {result_closed, "接続が閉じました."},
        {result_send_error, "送信エラーが発生しました."},    {result_no_memory, "メモリの確保に失敗しました."},
        {result_file_error, "ファイルの読み書きに失敗しました."}, {result_cancelled, "処理を中止しました."},
        {result_error_reply, "サーバがエラー返答を返しました."}, {result_bad_password, "パスワードが無効です."},
        {result_no_sender, "送信者が不明です."},
    };
    for (const auto& [code, text] : messages) EXPECT_EQ(test::u8(load_string(result_message_id(code))), text) << code;
    EXPECT_EQ(result_message_id(result_ok), 0);
}

}  // namespace
}  // namespace qm
