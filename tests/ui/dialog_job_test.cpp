// The job dialog: the capped log, the trace hand-over, the progress bar, and
// how it ends: by itself, through 中止, through Esc only after its worker.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "net/mail_jobs.h"
#include "support/job_runner.h"
#include "support/test_support.h"
#include "ui/dialog_job.h"
#include "ui/job_log.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

std::string numbered_lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "S: line " + std::to_string(10000 + i) + "\r\n";
    return text;
}

TEST(JobLog, KeepsWholeLinesBelowTheLimitWhateverTheTextsSizes) {
    const std::string all = numbered_lines(700);  // 18 bytes a line
    constexpr std::size_t limit = 1000;
    for (std::size_t piece : {1u, 7u, 18u, 19u, 500u, 4096u}) {
        std::string log;
        bool dropped = false;
        for (std::size_t at = 0; at < all.size(); at += piece) {
            dropped = append_to_job_log(log, std::string_view(all).substr(at, piece), limit) || dropped;
            ASSERT_LT(log.size() + 1, limit) << "piece " << piece;
        }
        EXPECT_TRUE(dropped);
        ASSERT_GE(all.size(), log.size());
        EXPECT_EQ(all.substr(all.size() - log.size()), log) << "piece " << piece;  // the newest text, unchanged
        EXPECT_TRUE(log.starts_with("S: line ")) << "piece " << piece << ": " << log.substr(0, 20);
        // Only what had to go went: one more line would not have fitted.
        EXPECT_GE(log.size() + 18 + 1, limit) << "piece " << piece;
    }
}

TEST(JobLog, DropsAtTheLimitCountingTheZeroAndALongerLineKeepsItsEndInWholeCharacters) {
    std::string log = "ab\r\n";
    EXPECT_FALSE(append_to_job_log(log, "cdefg", 11));  // 9 characters and the zero
    EXPECT_EQ(log, "ab\r\ncdefg");
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

// Answers every message box that opens with OK and keeps its text.
class box_answers {
public:
    box_answers() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->isVisible()) {
                texts.push_back(box->text().toStdString());
                box->accept();
            }
        });
        timer_.start(5);
    }
    std::vector<std::string> texts;

private:
    QTimer timer_;
};

// A job that runs until it is asked to stop.
net_result until_cancelled(thread& self) {
    while (!self.cancel_requested()) std::this_thread::sleep_for(1ms);
    return net_result::cancelled;
}

// Runs a dialog; `during` acts on it while the job runs.
net_result run_dialog(dialog_job& dialog, const std::function<void()>& during = {}) {
    if (during) QTimer::singleShot(0, during);
    return dialog.run();
}

TEST(DialogJob, ShowsTheTraceAndProgressAndStaysOpenWhileShiftIsHeldAtTheEnd) {
    std::atomic<bool> go_on = false;
    function_job job([&](thread& self) {
        self.set_progress(0, 3);
        self.show_trace("S: +OK ready\r\n");
        self.set_progress(2, 3);
        self.show_trace("C: STAT\r\n");
        while (!go_on) std::this_thread::sleep_for(1ms);
        return net_result::ok;
    });
    ASSERT_TRUE(job.start());
    dialog_job dialog(nullptr, job, "pop.example.com", {true, true, [] { return true; }});
    bool seen_running = false, seen_ended = false;
    const net_result result = run_dialog(dialog, [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.log_text().ends_with("C: STAT\r\n"); }, 5000));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.windowTitle(), "pop.example.com");
        EXPECT_EQ(dialog.log_text(), "connecting...\r\nS: +OK ready\r\nC: STAT\r\n");
        EXPECT_EQ(dialog.log_box()->toPlainText(), "connecting...\nS: +OK ready\nC: STAT\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.progress_bar()->text() == "2 / 3"; }, 5000));
        seen_running = dialog.abort_button()->isEnabled() && !dialog.close_button()->isEnabled();
        go_on = true;
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.job_ended(); }, 5000));
        QTest::qWait(50);
        seen_ended = dialog.isVisible() && dialog.close_button()->isEnabled() && !dialog.abort_button()->isEnabled();
        QTest::mouseClick(dialog.close_button(), Qt::LeftButton);
    });
    EXPECT_EQ(result, net_result::ok);
    EXPECT_TRUE(seen_running);
    EXPECT_TRUE(seen_ended);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(DialogJob, WithoutTraceItStaysHiddenHoldsBackInputAndClosesItselfOnSuccess) {
    QPushButton other("other");
    other.show();
    int clicked = 0;
    QObject::connect(&other, &QPushButton::clicked, [&] { ++clicked; });
    std::atomic<bool> go_on = false;
    function_job job([&](thread&) {
        while (!go_on) std::this_thread::sleep_for(1ms);
        return net_result::ok;
    });
    ASSERT_TRUE(job.start());
    dialog_job dialog(&other, job, "pop.example.com", {false, true, [] { return false; }});
    bool ever_shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { ever_shown = ever_shown || dialog.isVisible(); });
    watch.start(1);
    const net_result result = run_dialog(dialog, [&] {
        QTest::mouseClick(&other, Qt::LeftButton);
        QTest::qWait(30);
        go_on = true;
    });
    EXPECT_EQ(result, net_result::ok);
    EXPECT_FALSE(ever_shown);
    EXPECT_EQ(clicked, 0);
    QTest::mouseClick(&other, Qt::LeftButton);  // the job has ended
    EXPECT_EQ(clicked, 1);
}

TEST(DialogJob, AHiddenJobThatTakesLongShowsItselfAndAFailureShowsItsMessage) {
    function_job job(until_cancelled);
    ASSERT_TRUE(job.start());
    job_dialog_view view{false, true, [] { return false; }};
    view.reveal_after_milliseconds = 50;
    dialog_job dialog(nullptr, job, "smtp.example.com", view);
    box_answers boxes;
    const net_result result = run_dialog(dialog, [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isVisible(); }, 5000));
        QTest::mouseClick(dialog.abort_button(), Qt::LeftButton);
        EXPECT_FALSE(dialog.abort_button()->isEnabled());  // answered at once
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.job_ended() && !boxes.texts.empty(); }, 5000));
        QTest::qWait(20);
        EXPECT_TRUE(dialog.isVisible());  // waits for 閉じる
        EXPECT_TRUE(dialog.close_button()->isEnabled());
        QTest::mouseClick(dialog.close_button(), Qt::LeftButton);
    });
    EXPECT_EQ(result, net_result::cancelled);
    EXPECT_EQ(boxes.texts, names{"処理を中止しました."});
}

TEST(DialogJob, EscapeAsksTheJobToStopAndTheDialogEndsOnlyAfterTheWorker) {
    std::atomic<bool> let_go = false, saw_cancel = false;
    function_job job([&](thread& self) {
        while (!self.cancel_requested()) std::this_thread::sleep_for(1ms);
        saw_cancel = true;
        while (!let_go) std::this_thread::sleep_for(1ms);  // a worker slow to stop
        return net_result::cancelled;
    });
    ASSERT_TRUE(job.start());
    dialog_job dialog(nullptr, job, "pop.example.com", {true, true, [] { return false; }});
    box_answers boxes;
    bool open_while_worker_runs = false;
    const net_result result = run_dialog(dialog, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        ASSERT_TRUE(QTest::qWaitFor([&] { return saw_cancel.load(); }, 5000));
        QTest::qWait(100);
        open_while_worker_runs = dialog.isVisible() && !dialog.job_ended() && !job.is_finished();
        dialog.close();  // the window's close button does the same
        QTest::qWait(20);
        open_while_worker_runs = open_while_worker_runs && dialog.isVisible();
        let_go = true;
    });
    EXPECT_TRUE(open_while_worker_runs);
    EXPECT_TRUE(job.is_finished());
    EXPECT_EQ(result, net_result::cancelled);
    EXPECT_EQ(boxes.texts, names{"処理を中止しました."});  // then closed without 閉じる
}

TEST(DialogJob, EndingQuietlyShowsNothing) {
    function_job job(until_cancelled);
    ASSERT_TRUE(job.start());
    dialog_job dialog(nullptr, job, "pop.example.com", {true, true, [] { return false; }});
    box_answers boxes;
    EXPECT_EQ(run_dialog(dialog, [&] { dialog_job::running()->end_quietly(); }), net_result::cancelled);
    EXPECT_EQ(boxes.texts, names{});
    EXPECT_EQ(dialog_job::running(), nullptr);
}

}  // namespace
}  // namespace qm::test
