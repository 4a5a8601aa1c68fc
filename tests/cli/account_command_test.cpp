// quillmere-cli account: accounts made, changed and removed from a shell read
// back as the account dialog would have saved them; a refusal leaves the data
// directory as it was. (Accounts it adds sync in sync_command_test.)
//
// `account login`, OAuth 2.0 from the shell against real servers: an account
// added with hand-entered endpoints signs in once with a scripted browser,
// then `sync` renews its access silently through a Dovecot with an oauth2
// passdb and a Postfix taking XOAUTH2/OAUTHBEARER, and after a revocation
// names `account login` instead of looping.

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "cli_runner.h"
#include "support/oauth2_server.h"
#include "support/smtp_server.h"

namespace qm::test {
namespace {

const std::string required = " --address taro@example.jp --pop-server pop.example.jp --pop-user taro"
                             " --smtp-server smtp.example.jp";

class AccountCommand : public cli_test {
protected:
    std::string file(const std::string& title) { return read_bytes(home / ("mailbox/" + title + "/account.ini")); }
};

TEST_F(AccountCommand, AddsSetsListsAndRemoves) {
    write_bytes(home / "passwords", "pop ひみつ\nsmtp secret\n");
    EXPECT_EQ(run_ok("account add 仕事 --name 'Taro' --smtp-auth --no-verify-certificate --auto-cc boss" + required +
                     " --password-fd 3 3<'" + home / "passwords" + "'").err, "");
    const std::string stored = file("仕事");
    EXPECT_EQ(stored, crlf("[account]\nname=Taro\naddress=taro@example.jp\nPOP server=pop.example.jp\nPOP port=110\n"
                           "POP over SSL=-\nAPOP=-\nPOP id=taro\nPOP password=?/0/\x7F\x1D\xCF\x1D\xC2\x1D\xDD\n"
                           "POP remove=+\nSMTP server=smtp.example.jp\nSMTP port=25\nSMTP over SSL=-\nSMTP AUTH=+\n"
                           "SMTP id=\nSMTP password=?,2+/\x7F,:<-:+\nauto Cc=boss\nauto Bcc=\nverify certificate=-\n"
                           "SMTP STARTTLS=-\nPOP STLS=-\n"));
    EXPECT_EQ(run("account list").out, "仕事\tcomplete\n標準アカウント\tincomplete\n");

    // Only what is given changes; a switch goes off with its --no- form.
    run_ok("account set 仕事 --pop-port 995 --no-pop-remove --smtp-user tar0 --smtp-starttls");
    std::string expected = stored;
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{{"POP port=110", "POP port=995"},
             {"POP remove=+", "POP remove=-"}, {"SMTP id=", "SMTP id=tar0"}, {"SMTP STARTTLS=-", "SMTP STARTTLS=+"}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(file("仕事"), expected);
    run_ok("account remove 仕事 --yes");
    EXPECT_EQ(list_names(home / "mailbox"), names{"標準アカウント"});
}

TEST_F(AccountCommand, RefusalsChangeNothing) {
    run_ok("account add acct" + required + " --password-fd 0", "pw\n");
    const auto before = tree_snapshot(home.path());
    run_refused("account set acct --title 標準アカウント", "すでに同名のものが存在します.");
    run_ok("account remove acct", "y\nno\n", 1, "nothing was removed");
    // (A password kept in the keyring instead: the account dialog's and the rounds' tests.)
    run_refused("account add other" + required + " --pop-oauth2 --oauth2-preset google --oauth2-client-id x", "OAuth 2.0 は SSL/TLS");
    EXPECT_EQ(tree_snapshot(home.path()), before);
}

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
    std::size_t count(const std::string& event) const { return std::ranges::count(authority_->events(), event); }
    std::unique_ptr<oauth2_server> authority_;
    std::unique_ptr<smtp_server> server_;
};

TEST_F(AccountLogin, SignsInOnceRenewsSilentlyAndAfterARevocationNamesTheBrowserStep) {
    const std::string browser_log = tmp / "browser.log";
    scoped_env trust("SSL_CERT_FILE", authority_->ca_file().c_str());
    scoped_env browser("BROWSER", scripted_browser().c_str());
    scoped_env record("QUILLMERE_TEST_BROWSER_LOG", browser_log.c_str());
    std::filesystem::create_directory(home / "mailbox");
    const std::string add =
        "account add acct --address " + server_->address() + " --pop-server 127.0.0.1 --pop-port " +
        std::to_string(server_->mail_store().pop3s_port()) + " --pop-ssl --pop-user " + server_->user() +
        " --smtp-server 127.0.0.1 --smtp-port " + std::to_string(server_->port(smtp_port::starttls)) +
        " --smtp-starttls --pop-oauth2 --smtp-oauth2 --no-keyring --oauth2-authorize-url " + authority_->authorize_url() +
        " --oauth2-token-url " + authority_->token_url() + " --oauth2-client-id quillmere-test --oauth2-scope mail";
    EXPECT_EQ(run(add + " --no-pop-ssl").status, 1);  // a token goes over TLS only
    run_ok(add);
    const std::string settings = read_bytes(home / "mailbox/acct/account.ini");
    EXPECT_TRUE(contains(settings, "POP password=\r\n") && contains(settings, "POP login=OAuth2\r\n") &&
                contains(settings, "SMTP login=OAuth2\r\n")) << settings;

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
    // One refresh a round, shared by both servers.
    EXPECT_EQ(std::pair(count("token refresh ok"), count("authorize ok")), std::pair(std::size_t{2}, std::size_t{1}));

    authority_->revoke_refresh_tokens();
    EXPECT_TRUE(contains(run_refused("sync acct", "account login 'acct'").err, "invalid_grant"));
    EXPECT_EQ(count("authorize ok"), 1u);
    EXPECT_EQ(read_bytes(browser_log), "authorize 302\nredirect 200\n");
}

}  // namespace
}  // namespace qm::test
