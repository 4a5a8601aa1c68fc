#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/terminal_reporter.h"
#include "store/send_receive.h"

namespace qm::cli {

// The rounds' host in the shell: passwords read without echo, jobs run to
// their end with Ctrl-C as cancel, the trace on standard output, messages on
// standard error. The browser step runs only for `account login`
// (`may_sign_in`): a `sync` cannot wait for a browser.
class terminal_host : public send_receive_host {
public:
    terminal_host(bool trace, bool may_sign_in) : trace_(trace), may_sign_in_(may_sign_in) {}

    bool ask_password(std::string_view account_title, password_server server, std::string& password) override;
    bool run_job(thread& job, std::string_view server, bool trace) override;
    reporter& report() override { return report_; }
    bool trace_wanted() override { return trace_; }
    void visiting_account(std::string_view title) override;
    bool round_cancelled() override;
    bool may_sign_in() override;
    void signing_in(std::string_view address) override;

    // The account a round works on (a round of all accounts announces each).
    void set_account(std::string_view title) { account_ = title; }
    // The accounts whose round needed the browser step it could not run.
    const std::vector<std::string>& needing_sign_in() const { return needing_sign_in_; }

private:
    terminal_reporter report_;
    bool trace_;
    bool may_sign_in_;
    std::string account_;
    std::vector<std::string> needing_sign_in_;
};

}  // namespace qm::cli
