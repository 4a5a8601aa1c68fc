#include "app/new_mail_checker.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "config/account_settings.h"
#include "config/settings.h"
#include "navigator/background_check.h"
#include "store/round_logins.h"
#include "store/send_receive.h"

namespace qm {

new_mail_checker::new_mail_checker(QObject* parent) : new_mail_checker([] { return mailbox_root(); }, parent) {}

new_mail_checker::new_mail_checker(std::function<std::string()> mailbox_root, QObject* parent)
    : QObject(parent), mailbox_root_(std::move(mailbox_root)) {
    connect(&interval_timer_, &QTimer::timeout, this, &new_mail_checker::check_now);
    poll_timer_.setInterval(poll_interval_ms);
    connect(&poll_timer_, &QTimer::timeout, this, &new_mail_checker::poll_job);
}

new_mail_checker::~new_mail_checker() { stop(); }

void new_mail_checker::start(int interval_minutes) {
    stop();
    found_ = false;
    const int period = check_period_ms(interval_minutes);
    if (period > 0) interval_timer_.start(period);
}

void new_mail_checker::stop() {
    interval_timer_.stop();
    poll_timer_.stop();
    if (job_) job_->request_cancel();
    job_.reset();  // joins the worker, which ends its dialogue at the cancel
    account_.clear();
}

void new_mail_checker::check_now() {
    if (checking() || found_) return;
    account_.clear();
    visit_next_account();
}

// The account after the one visited last, in the order of the account list
// as it is now: an account added or removed during the round neither stops
// it nor is visited twice.
void new_mail_checker::visit_next_account() {
    visiting_ = true;
    while (true) {
        const std::string root = mailbox_root_();
        const std::vector<std::string> titles = list_accounts(root);
        auto next = account_.empty() ? titles.begin() : std::upper_bound(titles.begin(), titles.end(), account_);
        if (next == titles.end()) break;
        account_ = *next;
        job_ = start_new_mail_check(root, account_);
        if (job_) {
            visiting_ = false;
            poll_timer_.start();
            return;
        }
    }
    visiting_ = false;
    account_.clear();
    emit check_finished();
}

void new_mail_checker::poll_job() {
    if (!job_ || !job_->is_finished()) return;
    poll_timer_.stop();
    const bool found = job_->close_handle() == net_result::ok && job_->new_mail();
    keep_renewed_token(mailbox_root_(), account_, *job_);
    job_.reset();
    if (!found) {
        visit_next_account();
        return;
    }
    found_ = true;
    account_.clear();
    emit new_mail_found();
}

}  // namespace qm
