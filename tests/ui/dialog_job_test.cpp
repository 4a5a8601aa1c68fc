// The job dialog: the capped log, the progress bar, and the input it holds
// back until it ends by itself.

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "support/job_runner.h"
#include "support/test_support.h"
#include "ui/dialog_job.h"
#include "ui/job_log.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

TEST(JobLog, KeepsWholeLinesBelowTheLimitWhateverTheTextsSizes) {
    std::string all;  // 18 bytes a line
    for (int i = 0; i < 700; ++i) all += "S: line " + std::to_string(10000 + i) + "\r\n";
    for (std::size_t piece : {1u, 7u, 18u, 19u, 500u, 4096u}) {
        std::string log;
        bool dropped = false;
        for (std::size_t at = 0; at < all.size(); at += piece) {
            dropped = append_to_job_log(log, std::string_view(all).substr(at, piece), 1000) || dropped;
            ASSERT_LT(log.size() + 1, 1000u) << "piece " << piece;
        }
        EXPECT_TRUE(dropped);
        // The newest text, unchanged, from a line's start; only what had to go went.
        EXPECT_TRUE(all.ends_with(log) && log.starts_with("S: line ")) << "piece " << piece;
        EXPECT_GE(log.size() + 18 + 1, 1000u) << "piece " << piece;
    }
}

TEST(JobLog, DropsAtTheLimitCountingTheZeroAndALongerLineKeepsItsEndInWholeCharacters) {
    std::string log = "ab\r\n";
    EXPECT_FALSE(append_to_job_log(log, "cdefg", 11));  // 9 characters and the zero
    EXPECT_TRUE(append_to_job_log(log, "h", 11));  // 10 and the zero: the first line goes
    EXPECT_EQ(log, "cdefgh");
    EXPECT_TRUE(append_to_job_log(log, "\r\nij\r\nk", 8));
    EXPECT_EQ(log, "ij\r\nk");
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += sj("あ");
    for (const std::string start : {"", "x"}) {
        std::string log = "old\r\n" + start;
        EXPECT_TRUE(append_to_job_log(log, kanji, 21));
        EXPECT_EQ(log, kanji.substr(0, 20 - 2)) << start;  // 9 characters: 18 bytes and the zero below 21
    }
}

// Abort, Esc, a failure waiting for 閉じる, a trace and Shift held the window's rounds show against their servers.
TEST(DialogJob, AHiddenJobHoldsBackInputShowsItselfWithItsProgressWhenItTakesLongAndClosesItselfOnSuccess) {
    QPushButton other("other");
    other.show();
    int clicked = 0;
    QObject::connect(&other, &QPushButton::clicked, [&] { ++clicked; });
    std::atomic<bool> go_on = false;
    function_job job([&](thread& self) {
        self.set_progress(2, 3);
        while (!go_on && !self.cancel_requested()) std::this_thread::sleep_for(1ms);
        return net_result::ok;
    });
    ASSERT_TRUE(job.start());
    job_dialog_view view{false, true, [] { return false; }};
    view.reveal_after_milliseconds = 500;
    dialog_job dialog(&other, job, "pop.example.com", std::move(view));
    QTimer::singleShot(0, [&] {
        EXPECT_FALSE(dialog.isVisible());
        QTest::mouseClick(&other, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isVisible(); }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.progress_bar()->text() == "2 / 3"; }, 5000));
        EXPECT_FALSE(dialog.close_button()->isEnabled());
        go_on = true;
    });
    EXPECT_EQ(dialog.run(), net_result::ok);
    EXPECT_FALSE(dialog.isVisible());
    QTest::mouseClick(&other, Qt::LeftButton);  // the job has ended
    EXPECT_EQ(clicked, 1);
}

}  // namespace
}  // namespace qm::test
