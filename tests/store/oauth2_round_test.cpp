// The rounds of the window with OAuth 2.0, against the tests' authorization
// server and a Dovecot with its oauth2 passdb: the browser step runs when the
// account has no refresh token, and once more (never twice) when the
// provider refused it; the loopback listener takes only the redirect with
// its own state, and only one.

#include <thread>

#include "config/account_secrets.h"
#include "store/accounts.h"
#include "store/send_receive.h"
#include "store/store_fixture.h"
#include "support/dovecot_server.h"
#include "support/keyring_session.h"
#include "support/oauth2_server.h"

namespace qm::test {
namespace {

// The window's part: every job run to its end, a failure's message recorded, the browser step allowed.
class browsing_host : public send_receive_host {
public:
    bool ask_password(std::string_view, password_server, std::string&) override { return false; }
    bool run_job(thread& job, std::string_view, bool) override {
        while (!job.is_finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (job.close_handle() == net_result::ok) return true;
        messages.show(message_kind::error, job_result_message(job));
        return false;
    }
    reporter& report() override { return messages; }
    bool may_sign_in() override { return true; }
    recording_reporter messages;
};

class OAuth2Round : public store_test {
protected:
    void SetUp() override {
        start_server(authority_);
        if (HasFatalFailure() || IsSkipped()) return;
        start_server(pop_, dovecot_certificate::test_ca, authority_->introspection_url());
        if (HasFatalFailure()) return;
        account_values values;
        values.address = "alice@example.com";
        values.pop_server = values.smtp_server = "127.0.0.1";
        values.pop_port = std::to_string(pop_->pop3s_port());
        values.pop_over_ssl = values.pop_oauth2 = true;
        values.pop_id = "alice";
        values.oauth2_authorize_url = authority_->authorize_url();
        values.oauth2_token_url = authority_->token_url();
        values.oauth2_client_id = "quillmere-test";
        values.oauth2_scope = "mail";
        ASSERT_TRUE(make_directory(mailbox()) && create_account(mailbox(), "acct", values));
    }
    std::string mailbox() const { return dir.cp("mailbox/"); }
    round_result round(const char* browser_mode) {
        scoped_env mode("QUILLMERE_TEST_BROWSER", browser_mode);
        return send_receive(host_, mailbox(), "acct", true);
    }
    // What the scripted browser did, once it has done `lines` requests.
    std::string browsed(std::size_t lines) {
        wait_until([&] {
            const std::string log = read_bytes(browser_log_);
            return static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')) >= lines;
        }, std::chrono::seconds(5));
        std::string log = read_bytes(browser_log_);
        write_bytes(browser_log_, "");
        return log;
    }

    std::unique_ptr<oauth2_server> authority_;
    std::unique_ptr<dovecot_server> pop_;
    browsing_host host_;
    std::string browser_log_ = dir / "browser.log";
    scoped_env trust_{"SSL_CERT_FILE", (std::string(QUILLMERE_TEST_DATA) + "/servers/certs/ca.crt").c_str()};
    scoped_env browser_{"BROWSER", scripted_browser().c_str()};
    scoped_env record_{"QUILLMERE_TEST_BROWSER_LOG", browser_log_.c_str()};
};

TEST_F(OAuth2Round, SignsInWhenNeededOnceARoundAndTheListenerTakesOnlyItsOwnRedirect) {
    pop_->deliver("Subject: one\r\n\r\nhi\r\n");
    // A forged redirect (another state) is turned away; the right one is taken.
    EXPECT_TRUE(round("wrong-state-first").ok()) << host_.messages.texts().size();
    EXPECT_EQ(browsed(3), "authorize 302\nredirect 400\nredirect 200\n");
    EXPECT_EQ(list_names(dir / "mailbox/acct/ 受信箱"), names{".0"});
    EXPECT_FALSE(read_account_secret(mailbox(), "acct", secret_kind::refresh_token).empty());

    // A later round renews silently.
    EXPECT_TRUE(round("silent").ok());
    EXPECT_EQ(browsed(0), "");

    // Revoked: the message, one browser step, and the round goes on; the listener answers one request only.
    authority_->revoke_refresh_tokens();
    pop_->deliver("Subject: two\r\n\r\nhi\r\n");
    EXPECT_TRUE(round("twice").ok());
    EXPECT_EQ(browsed(3), "authorize 302\nredirect 200\nredirect refused\n");
    ASSERT_EQ(host_.messages.texts().size(), 1u);
    EXPECT_TRUE(host_.messages.texts()[0].starts_with("OAuth 2.0 の認可がないか")) << host_.messages.texts()[0];
    EXPECT_EQ(list_names(dir / "mailbox/acct/ 受信箱"), (names{".0", ".1"}));

    // Refused in the browser: the round ends there, with no second attempt.
    authority_->revoke_refresh_tokens();
    EXPECT_EQ(round("deny").job, net_result::authorization_needed);
    EXPECT_EQ(browsed(1), "redirect 200\n");
    EXPECT_TRUE(host_.messages.texts().back().ends_with("(access_denied)")) << host_.messages.texts().back();
}

TEST_F(OAuth2Round, ARevokedAccessTokenIsRefusedWithTheServersReason) {
    EXPECT_TRUE(round("follow").ok());
    browsed(2);
    authority_->revoke_access_tokens();
    // An access token the round already holds, now revoked: the server's JSON error is what the user reads.
    thread_pop job;
    job.pop_server = "127.0.0.1";
    job.port = pop_->pop3s_port();
    job.ssl = job.oauth2 = true;
    job.user_id = "alice";
    job.password = "at-revoked";
    job.uid_list_path = dir.cp("uid.lst");
    job.download_prefix = dir.cp("work/");
    job.start();
    EXPECT_EQ(job.close_handle(), net_result::token_refused);
    EXPECT_EQ(job.error_detail(), "status invalid_token");
    // Without TLS no token leaves the program.
    thread_pop plain;
    plain.pop_server = "127.0.0.1";
    plain.port = pop_->pop3_port();
    plain.oauth2 = true;
    plain.password = "at-any";
    plain.start();
    EXPECT_EQ(plain.close_handle(), net_result::authorization_failed);
    EXPECT_EQ(plain.error_detail(), "OAuth 2.0 is used over TLS only");
}

// With a keyring, the refresh token a sign-in brings and a password saved for the account live there only,
// and the rounds read them back.
TEST_F(OAuth2Round, SecretsInTheKeyringAreReadBackByTheRounds) {
    std::unique_ptr<keyring_session> keyring;
    start_server(keyring);
    account_values values = load_account_values(mailbox(), "acct");
    ASSERT_TRUE(place_account_secrets(values, true, "acct") && update_account(mailbox(), "acct", "acct", values));
    EXPECT_TRUE(round("follow").ok());
    browsed(2);
    EXPECT_TRUE(round("silent").ok());
    const std::string settings = read_bytes(dir / "mailbox/acct/account.ini");
    EXPECT_EQ(settings.find("refresh token"), std::string::npos) << settings;
    EXPECT_NE(settings.find("keyring id=" + values.keyring_id + "\r\n"), std::string::npos);
    EXPECT_FALSE(read_account_secret(mailbox(), "acct", secret_kind::refresh_token).empty());

    values = load_account_values(mailbox(), "acct");
    values.pop_oauth2 = false;
    values.pop_password = pop_->password();
    scramble_password(values.pop_password);
    ASSERT_TRUE(place_account_secrets(values, true, "acct") && update_account(mailbox(), "acct", "acct", values));
    pop_->deliver("Subject: by password\r\n\r\nhi\r\n");
    EXPECT_TRUE(round("silent").ok());
    EXPECT_EQ(list_names(dir / "mailbox/acct/ 受信箱"), names{".0"});
    EXPECT_NE(read_bytes(dir / "mailbox/acct/account.ini").find("POP password=\r\n"), std::string::npos);
    EXPECT_EQ(*keyring_lookup(values.keyring_id, secret_kind::pop_password), pop_->password());
}

}  // namespace
}  // namespace qm::test
