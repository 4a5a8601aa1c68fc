#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>

#include "net/job.h"
#include "net/result_codes.h"
#include "ui/wait_cursor.h"

class QEventLoop;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace qm {

// A hidden job dialog shows itself when its job still runs after this long,
// so that a slow or stalled server can be cancelled.
inline constexpr int hidden_job_reveal_milliseconds = 3000;
// How often the dialog looks at its job.
inline constexpr int job_poll_milliseconds = 10;

// How a job dialog shows itself.
struct job_dialog_view {
    bool trace = false;           // the job hands over its trace: shown from the start
    bool owner_visible = true;    // the window is on screen (else the dialog stays hidden)
    std::function<bool()> shift_held;  // the keyboard's Shift; asked when the job has ended
    int reveal_after_milliseconds = hidden_job_reveal_milliseconds;
};

// The dialog that owns a started receive or send job while it runs: caption
// the server, a read-only log of the dialogue ("connecting..." first, then
// the trace), a progress bar "n / N" of the messages, 中止 and 閉じる.
// The user interface never waits for the worker: a timer takes the trace
// texts and notices the end. Without trace the dialog stays hidden; a failure
// shows it with the result's message, and 閉じる ends it. After success it
// closes by itself unless Shift is held at that moment.
//
// 中止 asks the job to stop at once. Esc or the window's close button while
// the job runs do the same, and the dialog ends as soon as the worker has
// ended, never before. While it runs, input to every other window is held
// back, also while the dialog is hidden.
class dialog_job : public QDialog {
    Q_OBJECT
public:
    dialog_job(QWidget* parent, qm::thread& job, std::string_view server, job_dialog_view view);
    ~dialog_job() override;

    // Runs the job to its end in a local event loop; the job's result.
    net_result run();

    // The job dialog running now, if any (there is at most one).
    static dialog_job* running();
    // Ends the running job without asking anything: cancel, no message box,
    // the dialog closes as soon as the worker has ended.
    void end_quietly();

    const std::string& log_text() const { return log_; }
    QPlainTextEdit* log_box() const { return log_box_; }
    QProgressBar* progress_bar() const { return progress_; }
    QPushButton* abort_button() const { return abort_; }
    QPushButton* close_button() const { return close_; }
    bool job_ended() const { return ended_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void append_log(std::string_view text);
    void tick();
    void show_progress();
    void end_job();
    void abort_job();
    void reveal();
    void finish();
    bool inside(QObject* object) const;

    qm::thread& job_;
    job_dialog_view view_;
    std::string log_;
    QPlainTextEdit* log_box_;
    QProgressBar* progress_;
    QPushButton* abort_;
    QPushButton* close_;
    QTimer poll_, reveal_timer_;
    QEventLoop* loop_ = nullptr;
    net_result code_ = net_result::ok;
    bool ended_ = false;
    bool close_wanted_ = false;
    bool closing_ = false;
    bool quiet_ = false;
    bool filtering_ = false;
    wait_cursor wait_cursor_{false};
};

}  // namespace qm
