#include <sys/stat.h>

#include <algorithm>

#include "config/account_secrets.h"
#include "config/profile.h"
#include "store/accounts.h"
#include "store/send_receive.h"
#include "store/store_fixture.h"
#include "support/dovecot_server.h"
#include "support/keyring_session.h"
#include "support/oauth2_server.h"

namespace qm::test {
namespace {

account_values sample() {
    return {sj("山田"), "yamada@example.com", "pop.example.com", "995", true, false, "yamada", "?secret", false,
            "smtp.example.com", "465", true, true, "", "", "boss@example.com", sj("控え"), false,
            false, false, false, false, "", "", "", "", "", "", ""};
}

TEST(Accounts, CreationMakesTheFiveFoldersAndAPrivateFileAndDeletionRemovesAll) {
    temp_dir dir;
    std::string mailbox = dir.cp("box/");
    EXPECT_FALSE(create_account(mailbox, "acc", sample()));  // no mailbox yet
    ASSERT_TRUE(make_directory(mailbox) && create_account(mailbox, sj("仕事"), sample()));
    // (The file's bytes are pinned by the account command's tests.)
    EXPECT_EQ(mode_of(dir / "box/仕事/account.ini"), 0600u);
    write_bytes(dir / "box/taken/keep", "x");
    for (const char* title : {"taken", "", "..", "a/b", "nul"}) EXPECT_FALSE(create_account(mailbox, title, {})) << title;
    // Every write fails (EFBIG, even for root): no half account stays.
    EXPECT_FALSE(under_limit<file_size_limit>([&] { return create_account(mailbox, "full", {}); }, 0));
    EXPECT_EQ(list_names(dir / "box"), (names{"taken", "仕事"}));

    ::chmod((dir / "box/仕事/ 送信箱").c_str(), 0555);
    EXPECT_TRUE(delete_account(mailbox, sj("仕事")));
    for (const char* title : {"", ".", "..", "a/../taken"}) EXPECT_FALSE(delete_account(mailbox, title)) << title;
    EXPECT_EQ(list_names(dir / "box"), names{"taken"});
}

// (A title taken, the mail kept under a new title and every key written are met through the account dialog
// and command.)
TEST(Accounts, ACaseOnlyRenameKeepsTheFilePrivateAndAKeyThatCannotBeStoredChangesNothing) {
    temp_dir dir;
    std::string mailbox = dir.cp();
    ASSERT_TRUE(create_account(mailbox, "old", {}));
    ::chmod((dir / "old/account.ini").c_str(), 0644);
    EXPECT_TRUE(update_account(mailbox, "old", "Old", sample()));  // case only
    // The file stays private.
    EXPECT_EQ(std::pair(list_accounts(mailbox), mode_of(dir / "Old/account.ini")), std::pair(names{"Old"}, 0600u));
    const std::string saved = read_bytes(dir / "Old/account.ini");
    account_values half = sample();
    half.auto_bcc = "a\nb";  // the last but one key cannot be stored: no key is written
    EXPECT_FALSE(update_account(mailbox, "Old", "Old", half));
    EXPECT_EQ(read_bytes(dir / "Old/account.ini"), saved);
}

// Stored as the account dialog does it, read as the jobs do.
std::string through_the_file(const std::string& path, std::string password) {
    scramble_password(password);
    EXPECT_TRUE(profile_write_string(path, "account", "POP password", password, false));
    std::string stored = profile_read_string(path, "account", "POP password", "", 1024);
    unscramble_password(stored);
    return stored;
}

TEST(Passwords, EveryByteValueThroughTheFile) {
    temp_dir dir;
    std::string path = dir.cp("account.ini");
    for (int b = 1; b < 256; ++b) {
        std::string one(1, static_cast<char>(b)), scrambled = "x" + one;
        scramble_password(scrambled);
        EXPECT_EQ(scrambled.substr(0, 2) == "?\x9f", b == 159 || b == 149 || b == 146 || b == 133) << b;
        EXPECT_EQ(through_the_file(path, one), one) << b;
        EXPECT_EQ(through_the_file(path, "x" + one + "y"), "x" + one + "y") << b;
    }
    // The escaped bytes side by side.
    EXPECT_EQ(through_the_file(path, "!\x9f\x9f\x95\x92\x85\x9f\x85\x85"), "!\x9f\x9f\x95\x92\x85\x9f\x85\x85");
    // The longest password whose every byte scrambles to a line feed reads back whole from an account file.
    ASSERT_TRUE(make_directory(dir.cp("box/")) && create_account(dir.cp("box/"), "acc", {}));
    std::string longest(127, '\x95');
    scramble_password(longest);
    ASSERT_TRUE(profile_write_string(dir.cp("box/acc/account.ini"), "account", "SMTP password", longest, false));
    EXPECT_EQ(read_account_password(dir.cp("box/"), "acc", "SMTP password"), std::string(127, '\x95'));
}

// ---- the rounds of the window with OAuth 2.0 ----
// Against the tests' authorization server and a Dovecot with its oauth2 passdb: the browser step runs when
// the account has no refresh token, and once more (never twice) when the provider refused it; the loopback
// listener takes only the redirect with its own state, and only one.

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
        host_.browser_allowed = true;
        ASSERT_TRUE(make_directory(mailbox()) && create_account(mailbox(), "acct", values));
    }
    std::string mailbox() const { return dir.cp("mailbox/"); }
    round_result round(const char* browser_mode) {
        scoped_env mode("QUILLMERE_TEST_BROWSER", browser_mode);
        return send_receive(host_, mailbox(), "acct", true);
    }
    // What the scripted browser did, once it has done `lines` requests.
    std::string browsed(std::size_t lines) {
        wait_until([&] { return std::ranges::count(read_bytes(browser_log_), '\n') >= static_cast<long>(lines); },
                   std::chrono::seconds(5));
        std::string log = read_bytes(browser_log_);
        write_bytes(browser_log_, "");
        return log;
    }

    std::unique_ptr<oauth2_server> authority_;
    std::unique_ptr<dovecot_server> pop_;
    recording_host host_;
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
    EXPECT_TRUE(round("silent").ok() && browsed(0).empty());

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
    EXPECT_TRUE(round("follow").ok() && !browsed(2).empty());
    authority_->revoke_access_tokens();
    auto pop_with_token = [&](int port, bool ssl, const char* token) {
        thread_pop job;
        job.pop_server = "127.0.0.1";
        job.port = port;
        job.ssl = ssl, job.oauth2 = true;
        job.user_id = "alice";
        job.password = token;
        job.uid_list_path = dir.cp("uid.lst");
        job.download_prefix = dir.cp("work/");
        job.start();
        const net_result result = job.close_handle();  // the detail is read after it
        return std::pair(result, job.error_detail());
    };
    // An access token the round already holds, now revoked: the server's JSON error is what the user reads.
    EXPECT_EQ(pop_with_token(pop_->pop3s_port(), true, "at-revoked"),
              std::pair(net_result::token_refused, std::string("status invalid_token")));
    // Without TLS no token leaves the program.
    EXPECT_EQ(pop_with_token(pop_->pop3_port(), false, "at-any"),
              std::pair(net_result::authorization_failed, std::string("OAuth 2.0 is used over TLS only")));
}

// With a keyring, the refresh token a sign-in brings and a password saved for the account live there only,
// and the rounds read them back.
TEST_F(OAuth2Round, SecretsInTheKeyringAreReadBackByTheRounds) {
    std::unique_ptr<keyring_session> keyring;
    start_server(keyring);
    account_values values = load_account_values(mailbox(), "acct");
    ASSERT_TRUE(place_account_secrets(values, true, "acct") && update_account(mailbox(), "acct", "acct", values));
    EXPECT_TRUE(round("follow").ok() && !browsed(2).empty() && round("silent").ok());
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
