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

TEST(JobLog, DropsAtTheLimitCountingTheZeroAndALongerLineKeepsItsEndInWholeCharacters) {
    std::string log = "ab\r\n";
    EXPECT_FALSE(append_to_job_log(log, "cdefg", 11));  // 9 characters and the zero
    EXPECT_TRUE(append_to_job_log(log, "h", 11));  // 10 and the zero: the first line goes
    EXPECT_EQ(log, "cdefgh");
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += sj("あ");
    log = "old\r\nx";
    EXPECT_TRUE(append_to_job_log(log, kanji, 21));
    EXPECT_EQ(log, kanji.substr(0, 20 - 2));  // 9 characters: 18 bytes and the zero below 21
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
