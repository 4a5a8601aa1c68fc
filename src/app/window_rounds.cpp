#include "app/window_rounds.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include "config/account_settings.h"
#include "ui/dialog_job.h"
#include "ui/dialog_password.h"
#include "ui/message_box.h"
#include "ui/wait_cursor.h"

namespace qm {

namespace {

class window_host;
window_host* running_host = nullptr;

bool keyboard_shift() { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier); }

// The round's host in the window. The wait cursor is on while the round
// works on the main thread (preparing, filing, arranging) and off whenever a
// dialog or a box waits for the user.
class window_host : public send_receive_host, private reporter {
public:
    window_host(QWidget* window, std::string mailbox, window_round_hooks hooks)
        : window_(window), mailbox_(std::move(mailbox)), hooks_(std::move(hooks)), boxes_(window) {
        if (!hooks_.shift_held) hooks_.shift_held = keyboard_shift;
        running_host = this;
    }
    ~window_host() override { running_host = nullptr; }
    window_host(const window_host&) = delete;
    window_host& operator=(const window_host&) = delete;

    bool ask_password(std::string_view account_title, password_server server, std::string& password) override {
        if (ended_) return false;
        const current_account account = load_current_account(mailbox_, account_title);
        const std::string& host = server == password_server::pop3 ? account.pop_server : account.smtp_server;
        user_turn turn(*this);
        return ask_round_password(window_, server, account_title, host, password);
    }

    bool run_job(thread& job, std::string_view server, bool trace) override {
        user_turn turn(*this);
        dialog_job dialog(window_, job, server, {trace, window_ && window_->isVisible(), hooks_.shift_held});
        if (ended_) dialog.end_quietly();
        return dialog.run() == net_result::ok;
    }

    reporter& report() override { return *this; }
    void show_inbox(std::string_view inbox) override {
        if (hooks_.show_inbox) hooks_.show_inbox(inbox);
    }
    bool trace_wanted() override { return hooks_.shift_held(); }
    void visiting_account(std::string_view title) override {
        if (hooks_.visiting_account) hooks_.visiting_account(title);
    }
    bool round_cancelled() override { return ended_; }
    // The browser step runs in the job dialog like any job.
    bool may_sign_in() override { return !ended_; }

    void set_busy(bool busy) { busy_.set(busy); }
    void end() { ended_ = true; }

private:
    // The user's turn: no wait cursor while a dialog or box is open.
    class user_turn {
    public:
        explicit user_turn(window_host& host) : host_(host), was_busy_(host.busy_.is_on()) { host_.set_busy(false); }
        ~user_turn() { host_.set_busy(was_busy_); }
        user_turn(const user_turn&) = delete;
        user_turn& operator=(const user_turn&) = delete;

    private:
        window_host& host_;
        bool was_busy_;
    };

    // A round that is being ended shows nothing more.
    bool show(message_kind kind, std::string_view text) override {
        if (ended_) return false;
        user_turn turn(*this);
        return boxes_.show(kind, text);
    }

    QWidget* window_;
    std::string mailbox_;
    window_round_hooks hooks_;
    message_box_reporter boxes_;
    wait_cursor busy_{false};
    bool ended_ = false;
};

// The question before any round; false when answered with Cancel.
bool server_access_confirmed(QWidget* window) {
    return show_message(window, message_kind::confirm, load_string(str::round_confirm));
}

round_result refused_round() {
    round_result result;
    result.job = net_result::cancelled;
    return result;
}

}  // namespace

round_result run_send_receive(QWidget* window, const std::string& mailbox, const std::string& account_title,
                              window_round_hooks hooks) {
    if (running_host || !server_access_confirmed(window)) return refused_round();
    window_host host(window, mailbox, std::move(hooks));
    host.set_busy(true);
    return send_receive(host, mailbox, account_title, false);
}

round_result run_send_receive_all(QWidget* window, const std::string& mailbox, window_round_hooks hooks) {
    if (running_host || !server_access_confirmed(window)) return refused_round();
    window_host host(window, mailbox, std::move(hooks));
    host.set_busy(true);
    return send_receive_all(host, mailbox);
}

bool round_may_start(QWidget* window) { return !running_host && server_access_confirmed(window); }

round_result run_send_queued(QWidget* window, const std::string& mailbox, const std::string& account_title,
                             window_round_hooks hooks) {
    if (running_host) return refused_round();
    window_host host(window, mailbox, std::move(hooks));
    host.set_busy(true);
    return send_queued(host, mailbox, account_title);
}

bool round_running() { return running_host != nullptr; }

void cancel_running_round() {
    if (!running_host) return;
    running_host->end();
    if (dialog_job* dialog = dialog_job::running()) dialog->end_quietly();
    // A prompt or box of the round waits for the user: it is answered as
    // Cancel or OK would be.
    QWidget* modal = QApplication::activeModalWidget();
    if (qobject_cast<dialog_password*>(modal) || qobject_cast<QMessageBox*>(modal)) modal->close();
}

}  // namespace qm
