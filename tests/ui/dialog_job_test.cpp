// The job dialog: the capped log, the progress bar, and how it ends: by
// itself, or after a failure only through 閉じる.

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/modal_hand.h"
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

// A job that runs until it is asked to stop, or until `go_on` when one is given.
net_result wait_for(thread& self, const std::atomic<bool>* go_on) {
    while (go_on ? !*go_on : !self.cancel_requested()) std::this_thread::sleep_for(1ms);
    return go_on ? net_result::ok : net_result::cancelled;
}

// A started job's dialog, and the message boxes over it answered with OK (their texts kept).
struct DialogJob : ::testing::Test {
    DialogJob() { boxes.otherwise = [](QWidget* w) { modal_hand::click(w, true); }; }
    // Starts `body` with its dialog and runs that; `during` acts on it while the job runs.
    net_result run(std::function<net_result(thread&)> body, job_dialog_view view,
                   const std::function<void(dialog_job&)>& during) {
        dialog.reset();
        job = std::make_unique<function_job>(std::move(body));
        EXPECT_TRUE(job->start());
        dialog = std::make_unique<dialog_job>(owner.get(), *job, "pop.example.com", std::move(view));
        QTimer::singleShot(0, [&] { during(*dialog); });
        return dialog->run();
    }
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<function_job> job;
    std::unique_ptr<dialog_job> dialog;
    modal_hand boxes;
};

TEST_F(DialogJob, WithoutTraceItStaysHiddenHoldsBackInputAndClosesItselfOnSuccess) {
    auto* other = new QPushButton("other");
    owner.reset(other);
    other->show();
    int clicked = 0;
    QObject::connect(other, &QPushButton::clicked, [&] { ++clicked; });
    std::atomic<bool> go_on = false;
    const auto body = [&](thread& self) { return wait_for(self, &go_on); };
    EXPECT_EQ(run(body, {false, true, [] { return false; }}, [&](dialog_job& d) {
        QTest::mouseClick(other, Qt::LeftButton);
        QTest::qWait(30);
        EXPECT_FALSE(d.isVisible());
        go_on = true;
    }), net_result::ok);
    QTest::mouseClick(other, Qt::LeftButton);  // the job has ended
    EXPECT_EQ(clicked, 1);
}

// A trace, Shift held, abort and Esc the window's rounds show against their servers.
TEST_F(DialogJob, AHiddenJobThatTakesLongShowsItselfWithItsProgressAndAFailureWaitsForClose) {
    job_dialog_view view{false, true, [] { return false; }};
    view.reveal_after_milliseconds = 50;
    const auto body = [](thread& self) {
        self.set_progress(2, 3);
        return wait_for(self, nullptr);
    };
    EXPECT_EQ(run(body, view, [&](dialog_job& d) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return d.isVisible(); }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return d.progress_bar()->text() == "2 / 3"; }, 5000));
        EXPECT_FALSE(d.close_button()->isEnabled());
        QTest::mouseClick(d.abort_button(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return d.job_ended() && !boxes.boxes().empty(); }, 5000));
        QTest::qWait(20);
        EXPECT_TRUE(d.isVisible() && d.close_button()->isEnabled());  // waits for 閉じる
        QTest::mouseClick(d.close_button(), Qt::LeftButton);
    }), net_result::cancelled);
    EXPECT_EQ(boxes.boxes(), names{"処理を中止しました."});
}

}  // namespace
}  // namespace qm::test
