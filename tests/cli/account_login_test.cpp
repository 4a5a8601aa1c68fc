// OAuth 2.0 from the shell against real servers: an account added with
// hand-entered endpoints signs in once with a scripted browser, then `sync`
// renews its access silently through a Dovecot with an oauth2 passdb and a
// Postfix taking XOAUTH2/OAUTHBEARER, and after a revocation names
// `account login` instead of looping.

#include <filesystem>
#include <iostream>

#include "cli_runner.h"
#include "support/oauth2_server.h"
#include "support/smtp_server.h"

namespace qm::test {
namespace {

class AccountLogin : public cli_test {
protected:
    void SetUp() override {
        // Long access tokens go after the servers' prompt; each refresh replaces the refresh token.
        oauth2_server::options options;
        options.rotate = options.long_access_tokens = true;
        start_server(authority_, options);
        if (HasFatalFailure() || IsSkipped()) return;
        start_server(server_, authority_->introspection_url());
    }
    void TearDown() override {
        if (HasFailure() && server_) std::cerr << "--- server logs ---\n" << server_->log() << authority_->log();
    }
    std::size_t count(const std::string& event) const {
        const std::vector<std::string> events = authority_->events();
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
    }
    std::unique_ptr<oauth2_server> authority_;
    std::unique_ptr<smtp_server> server_;
};

TEST_F(AccountLogin, SignsInOnceRenewsSilentlyAndAfterARevocationNamesTheBrowserStep) {
    const std::string browser_log = tmp / "browser.log";
    scoped_env trust("SSL_CERT_FILE", authority_->ca_file().c_str());
    scoped_env browser("BROWSER", scripted_browser().c_str());
    scoped_env record("QUILLMERE_TEST_BROWSER_LOG", browser_log.c_str());
    std::filesystem::create_directory(home / "mailbox");
    const std::string add = "account add acct --address " + server_->address() + " --pop-server 127.0.0.1 --pop-port " +
                            std::to_string(server_->mail_store().pop3s_port()) + " --pop-ssl --pop-user " +
                            server_->user() + " --smtp-server 127.0.0.1 --smtp-port " +
                            std::to_string(server_->port(smtp_port::starttls)) + " --smtp-starttls --pop-oauth2 " +
                            "--smtp-oauth2 --oauth2-authorize-url " + authority_->authorize_url() +
                            " --oauth2-token-url " + authority_->token_url() + " --oauth2-client-id quillmere-test" +
                            " --oauth2-scope mail --no-keyring";
    EXPECT_EQ(run(add + " --no-pop-ssl").status, 1);  // a token goes over TLS only
    run_ok(add);
    const std::string settings = read_bytes(home / "mailbox/acct/account.ini");
    EXPECT_TRUE(contains(settings, "POP password=\r\n") && contains(settings, "POP login=OAuth2\r\n") &&
                contains(settings, "SMTP login=OAuth2\r\n"))
        << settings;

    // Nothing stored yet: sync opens no browser and says what to run.
    run_refused("sync acct", "account login 'acct'");

    cli_result login = run_ok("account login acct");
    EXPECT_TRUE(contains(login.err, authority_->authorize_url() + "?response_type=code")) << login.err;
    EXPECT_EQ(count("token code ok"), 1u);
    EXPECT_TRUE(contains(read_bytes(home / "mailbox/acct/account.ini"), "OAuth2 refresh token=?"));

    // From here on no browser is needed: each round renews the access.
    scoped_env no_browser("BROWSER", "/bin/false");
    run_ok("new acct --to " + server_->address() + " --subject oauth --queue");
    EXPECT_TRUE(contains(run_ok("sync acct").err, "1通のメールを送信しました."));
    ASSERT_TRUE(server_->wait_for_delivery(1));
    run_ok("sync acct");
    EXPECT_EQ(list_names(home / "mailbox/acct/ 受信箱"), (names{".0"}));
    EXPECT_EQ(count("token refresh ok"), 2u);  // one a round, shared by both servers
    EXPECT_EQ(count("authorize ok"), 1u);

    authority_->revoke_refresh_tokens();
    EXPECT_TRUE(contains(run_refused("sync acct", "account login 'acct'").err, "invalid_grant"));
    EXPECT_EQ(count("authorize ok"), 1u);
    EXPECT_EQ(read_bytes(browser_log), "authorize 302\nredirect 200\n");
}

}  // namespace
}  // namespace qm::test
