#include "ui/dialog_job.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>

#include "net/job.h"
#include "net/mail_jobs.h"
#include "platform/string_table.h"
#include "ui/job_log.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// Lines of the log are about this many characters wide and this many high.
constexpr int log_columns = 80;
constexpr int log_rows = 14;

dialog_job* running_dialog = nullptr;

// The log box shows line feeds only.
QString shown_text(std::string_view cp932) {
    QString text = qs(cp932);
    text.remove(QLatin1Char('\r'));
    return text;
}

bool is_user_input(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        return true;
    default:
        return false;
    }
}

bool shift_key_down() { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier); }

}  // namespace

dialog_job::dialog_job(QWidget* parent, qm::thread& job, std::string_view server, job_dialog_view view)
    : QDialog(parent),
      job_(job),
      view_(std::move(view)),
      log_box_(new QPlainTextEdit(this)),
      progress_(new QProgressBar(this)),
      abort_(new QPushButton(qs(load_string(str::job_abort)), this)),
      close_(new QPushButton(qs(load_string(str::job_close)), this)) {
    if (!view_.shift_held) view_.shift_held = shift_key_down;
    setWindowTitle(qs(server));
    setWindowModality(Qt::ApplicationModal);
    log_box_->setReadOnly(true);
    log_box_->setAccessibleName(qs(load_string(str::job_log_name)));
    log_box_->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics = log_box_->fontMetrics();
    log_box_->setMinimumSize(metrics.averageCharWidth() * log_columns, metrics.lineSpacing() * log_rows);
    progress_->setAccessibleName(qs(load_string(str::job_progress_name)));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    // Enter must not stop a job by accident.
    abort_->setAutoDefault(false);
    close_->setAutoDefault(false);
    close_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addWidget(abort_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_box_, 1);
    layout->addLayout(buttons);

    connect(abort_, &QPushButton::clicked, this, &dialog_job::abort_job);
    connect(close_, &QPushButton::clicked, this, &dialog_job::reject);
    connect(&poll_, &QTimer::timeout, this, &dialog_job::tick);
    reveal_timer_.setSingleShot(true);
    connect(&reveal_timer_, &QTimer::timeout, this, &dialog_job::reveal);
    append_log(load_string(str::job_connecting) + "\r\n");
}

dialog_job::~dialog_job() {
    if (filtering_) qApp->removeEventFilter(this);
    if (running_dialog == this) running_dialog = nullptr;
}

dialog_job* dialog_job::running() { return running_dialog; }

net_result dialog_job::run() {
    running_dialog = this;
    qApp->installEventFilter(this);
    filtering_ = true;
    if (view_.trace) {
        show();
    } else {
        // Nothing on screen moves and the window takes no input: the
        // cursor says why.
        wait_cursor_.set(true);
        if (view_.owner_visible) reveal_timer_.start(view_.reveal_after_milliseconds);
    }
    poll_.start(job_poll_milliseconds);
    QEventLoop loop;
    loop_ = &loop;
    if (!closing_) loop.exec();
    loop_ = nullptr;
    running_dialog = nullptr;
    return code_;
}

void dialog_job::append_log(std::string_view text) {
    if (append_to_job_log(log_, text)) {
        log_box_->setPlainText(shown_text(log_));
    } else {
        QTextCursor end = log_box_->textCursor();
        end.movePosition(QTextCursor::End);
        end.insertText(shown_text(text));
        log_box_->setTextCursor(end);
    }
    log_box_->moveCursor(QTextCursor::End);
    log_box_->verticalScrollBar()->setValue(log_box_->verticalScrollBar()->maximum());
}

void dialog_job::tick() {
    if (ended_) return;
    if (job_.is_finished()) {
        end_job();
        return;
    }
    if (job_.trace_waiting()) {
        append_log(job_.trace_text());
        job_.trace_taken();
        // The worker goes on at once; its next text need not wait a whole tick.
        QTimer::singleShot(0, this, &dialog_job::tick);
    }
    show_progress();
}

void dialog_job::show_progress() {
    const qm::thread::progress_count count = job_.progress();
    if (count.total < 0) return;
    progress_->setRange(0, std::max(count.total, 1));
    progress_->setValue(std::clamp(count.done, 0, std::max(count.total, 1)));
    progress_->setFormat(QStringLiteral("%1 / %2").arg(count.done).arg(count.total));
    progress_->setTextVisible(true);
}

void dialog_job::end_job() {
    poll_.stop();
    reveal_timer_.stop();
    abort_->setEnabled(false);
    code_ = job_.close_handle();
    ended_ = true;
    wait_cursor_.set(false);
    show_progress();
    qApp->removeEventFilter(this);
    filtering_ = false;
    if (quiet_) {
        finish();
        return;
    }
    if (code_ != net_result::ok) {
        const std::string message = job_result_message(job_);
        reveal();
        close_->setEnabled(true);
        close_->setDefault(true);
        close_->setFocus();
        show_message(this, message_kind::error, message);
        if (close_wanted_) finish();
        return;
    }
    if (!close_wanted_ && view_.shift_held()) {
        reveal();
        close_->setEnabled(true);
        close_->setDefault(true);
        close_->setFocus();
        return;
    }
    finish();
}

void dialog_job::abort_job() {
    abort_->setEnabled(false);
    job_.request_cancel();
}

void dialog_job::end_quietly() {
    quiet_ = true;
    close_wanted_ = true;
    if (ended_)
        finish();
    else
        abort_job();
}

void dialog_job::reveal() {
    wait_cursor_.set(false);
    if (!isVisible()) show();
    raise();
    activateWindow();
}

void dialog_job::finish() {
    closing_ = true;
    hide();
    if (loop_) loop_->quit();
}

void dialog_job::reject() {
    if (!ended_) {
        // The dialog outlives its worker: it ends once the job has.
        close_wanted_ = true;
        abort_job();
        return;
    }
    finish();
}

void dialog_job::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

bool dialog_job::inside(QObject* object) const {
    auto* widget = qobject_cast<QWidget*>(object);
    return widget && (widget == this || isAncestorOf(widget));
}

bool dialog_job::eventFilter(QObject* watched, QEvent* event) {
    if (!filtering_ || inside(watched)) return false;
    if (is_user_input(event->type())) {
        // Windows get their input as widgets do; only the widgets are held back.
        return watched->isWidgetType() || event->type() == QEvent::Shortcut;
    }
    if (event->type() == QEvent::Close && watched->isWidgetType()) {
        event->ignore();
        return true;
    }
    return false;
}

}  // namespace qm
