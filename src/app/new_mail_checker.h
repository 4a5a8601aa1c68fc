#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "net/mail_jobs.h"

namespace qm {

// The periodic new-mail check of the window in the background. Every
// interval it visits the accounts one after another, asking each account's
// POP3 server (only accounts with a stored password: it never prompts)
// whether it holds mail not yet received. The check runs on a worker thread
// that a short timer looks at, so the window never waits for a server.
//
// When an account has new mail, new_mail_found() is emitted once and the
// checker holds still until it is started again: the user has been told,
// and asking the servers again would only tell the same. Failures are
// silent; the next interval simply asks again.
class new_mail_checker : public QObject {
    Q_OBJECT
public:
    // `mailbox_root` gives the mailbox root (ending with "/"); it is asked
    // at every visit of an account, as are the account titles, so that a
    // changed setting or a new account counts from the next visit on. By
    // default the root "quillmere.ini" names.
    explicit new_mail_checker(QObject* parent = nullptr);
    explicit new_mail_checker(std::function<std::string()> mailbox_root, QObject* parent = nullptr);
    ~new_mail_checker() override;

    // Checks every `interval_minutes` minutes from now on (the first check
    // after one interval); 0 or less only stops. A check that is running
    // is ended first.
    void start(int interval_minutes);
    // Ends the timer and a running check: the worker is asked to cancel and
    // has ended when this returns (it notices within a few milliseconds).
    void stop();

    // Visits the accounts now, as the timer would; nothing when a check is
    // running or new mail was found since the start.
    void check_now();

    bool running() const { return interval_timer_.isActive(); }
    bool checking() const { return job_ != nullptr || visiting_; }
    bool found_new_mail() const { return found_; }
    // The account being asked, while checking() (CP932).
    const std::string& account() const { return account_; }

    // How often the running worker is looked at.
    static constexpr int poll_interval_ms = 10;

signals:
    void new_mail_found();
    // A visit of all accounts ended without new mail (or was not begun).
    void check_finished();

private:
    void visit_next_account();
    void poll_job();

    std::function<std::string()> mailbox_root_;
    QTimer interval_timer_;
    QTimer poll_timer_;
    std::unique_ptr<thread_pop_check> job_;
    std::string account_;  // the last account visited in this round
    bool visiting_ = false;
    bool found_ = false;
};

}  // namespace qm
