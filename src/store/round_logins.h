#pragma once

#include <string>
#include <string_view>

#include "config/account_settings.h"
#include "net/mail_jobs.h"
#include "net/oauth2_browser_step.h"
#include "store/send_receive.h"

namespace qm {

// The account's OAuth 2.0 registration, its client secret from wherever the
// account keeps its secrets.
oauth2_registration load_oauth2_registration(std::string_view mailbox, std::string_view title);

// The browser step for the account through the host (which opens the
// browser and runs the job, or declines): authorization_needed when the host
// cannot run it; else the job's result. On success the refresh token is
// stored where the account keeps its secrets and the access token handed
// back.
net_result sign_in(send_receive_host& host, std::string_view mailbox, std::string_view title,
                   const oauth2_registration& registration, std::string& access_token);

// What a job learnt that outlives it: a refresh token the endpoint handed
// out in place of the old one is stored.
void keep_renewed_token(std::string_view mailbox, std::string_view title, const mail_job& job);

// The logins of one round: passwords (stored, else asked for) for servers
// that take one, OAuth 2.0 tokens for the others. Every secret is wiped
// when the object goes.
class round_logins {
public:
    round_logins(send_receive_host& host, std::string_view mailbox, std::string_view title,
                 const current_account& account);
    ~round_logins();
    round_logins(const round_logins&) = delete;
    round_logins& operator=(const round_logins&) = delete;

    // Everything the servers of the round need, before any connection: a
    // cancelled password prompt (cancelled) or a sign-in that could not be
    // had (its code) ends the round there.
    net_result obtain(bool pop, bool smtp);
    // Sets up the job's login; its password (or access token) is handed
    // over, the round keeping no copy.
    void hand_to(mail_job& job, password_server server, std::string& job_password);
    // After a job: keeps a renewed refresh token and the access token for
    // the next job. True when the job ended because the refresh token was
    // refused and a sign-in in the browser has just succeeded: the job is
    // worth running once more (at most once a round, so that nothing loops).
    bool retry_after(mail_job& job, net_result code);

private:
    bool uses_oauth2(password_server server) const;
    net_result obtain_password(password_server server, std::string& password);
    net_result obtain_token();

    send_receive_host& host_;
    std::string mailbox_, title_;
    const current_account& account_;
    std::string pop_password_, smtp_password_;
    oauth2_registration registration_;
    std::string refresh_token_, access_token_;
    bool signed_in_ = false;
};

}  // namespace qm
