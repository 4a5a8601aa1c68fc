// The account dialog over a real mailbox: what it writes into the account
// directories and their "account.ini", and what it tells the user. The
// checks themselves and their order are the store's (tests/store); here
// they are met through the dialog once, with the field each one focuses.

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <deque>

#include "config/account_settings.h"
#include "config/profile.h"
#include "config/secret_store.h"
#include "entry_dialog_test.h"
#include "store/accounts.h"
#include "support/keyring_session.h"
#include "support/oauth2_server.h"
#include "ui/dialog_account.h"
#include "ui/oauth2_fields.h"

namespace qm::test {
namespace {

// Answers the questions in turn from `answers` (OK when none is left).
struct scripted_reporter : recording_reporter {
    bool show(message_kind kind, std::string_view text) override {
        recording_reporter::show(kind, text);
        if (kind != message_kind::confirm || answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<bool> answers;
};


class AccountDialog : public ::testing::Test {
protected:
    AccountDialog() { make_directory(mailbox); }

    // Runs the dialog as the window does; `use` acts on it once it is shown. The outcome, the old
    // and the new title, as "saved|old|new".
    std::string run(const std::string& title, const std::function<void(dialog_account&)>& use) {
        account_dialog_result r;
        const std::string* existing = title.empty() ? nullptr : &title;
        with_modal<dialog_account>([&] { r = run_account_dialog(nullptr, mailbox, existing, report); }, use);
        const char* outcomes[] = {"cancelled", "saved", "deleted"};
        return outcomes[static_cast<int>(r.what)] + ("|" + u8(r.old_title) + "|" + u8(r.new_title));
    }
    std::string raw_key(const std::string& title, std::string_view key) const {
        return profile_read_string(account_file(mailbox, title), account_section, key, "<none>", 4096);
    }
    std::string account_ini(const std::string& utf8_title) const {
        return read_bytes(dir / "box/" + utf8_title + "/account.ini");
    }
    // The fields OK needs, for the account "acct".
    static void fill(dialog_account& dialog) {
        for (QLineEdit* field : {dialog.title_field(), dialog.address_field(), dialog.pop_server_field(),
                                 dialog.pop_id_field(), dialog.smtp_server_field()})
            type_into(field, field == dialog.title_field() ? "acct" : "a@b.jp");
    }

    temp_dir dir;
    const std::string mailbox = dir.cp("box/");
    scripted_reporter report;
    // No keyring but a test's own.
    scoped_env no_bus{"DBUS_SESSION_BUS_ADDRESS", nullptr}, runtime{"XDG_RUNTIME_DIR", dir.path().c_str()};
};

TEST_F(AccountDialog, ANewAccountIsWrittenRenamingKeepsItsMailAndPasswordsAndAFailedWriteIsTold) {
    EXPECT_EQ(run("", [&](dialog_account& dialog) {
        for (auto [field, text] :
             {std::pair{dialog.title_field(), "仕事"}, {dialog.name_field(), "山田 太郎"},
              {dialog.address_field(), "taro@example.jp"}, {dialog.pop_server_field(), "pop.example.jp"},
              {dialog.pop_id_field(), "taro"}, {dialog.pop_password_field(), "秘密 pop"},
              {dialog.smtp_server_field(), "smtp.example.jp"}})
            type_into(field, text);
        dialog.pop_security()->setCurrentIndex(2);  // STLS
        dialog.smtp_security()->setCurrentIndex(1);
        for (QCheckBox* box : {dialog.apop_box(), dialog.pop_remove_box(), dialog.smtp_auth_box(), dialog.verify_box()})
            box->click();
        type_into(dialog.smtp_id_field(), "taro@smtp");
        type_into(dialog.smtp_password_field(), "?");  // looks like a stored password, but was typed
        press(dialog.ok_button());
    }), "saved||仕事");
    const account_values v = load_account_values(mailbox, sj("仕事"));
    EXPECT_EQ(u8(v.name) + "|" + v.address + "|" + v.pop_server + ":" + v.pop_port + "|" + v.pop_id + "|" +
                  v.smtp_server + ":" + v.smtp_port + "|" + v.smtp_id,
              "山田 太郎|taro@example.jp|pop.example.jp:110|taro|smtp.example.jp:465|taro@smtp");
    EXPECT_TRUE(v.apop && !v.pop_remove && v.smtp_auth && !v.verify_certificate && !v.pop_over_ssl && v.pop_stls &&
                v.smtp_over_ssl && !v.smtp_starttls);
    const std::string title = sj("仕事");
    // The passwords are stored scrambled (the scrambling is the store's) and read back as typed.
    EXPECT_EQ(u8(read_account_password(mailbox, title, account_key::pop_password)), "秘密 pop");
    EXPECT_EQ(read_account_password(mailbox, title, account_key::smtp_password), "?");

    // Renamed with a new POP password and the SMTP one forgotten: the mail goes along, the rest is
    // kept, and a stored password is never shown.
    write_bytes(dir / "box/仕事/ 受信箱/.0/0", "Subject: kept\r\n");
    EXPECT_EQ(run(title, [&](dialog_account& dialog) {
        EXPECT_EQ(dialog.pop_password_field()->text(), "");
        type_into(dialog.title_field(), "新しい名前");
        type_into(dialog.pop_password_field(), "new pop");
        dialog.smtp_password_forget()->trigger();
        press(dialog.ok_button());
    }), "saved|仕事|新しい名前");
    const std::string renamed = sj("新しい名前");
    EXPECT_EQ(read_bytes(dir / "box/新しい名前/ 受信箱/.0/0"), "Subject: kept\r\n");
    EXPECT_EQ(read_account_password(mailbox, renamed, account_key::pop_password), "new pop");
    EXPECT_EQ(raw_key(renamed, account_key::smtp_password), "");

    // The account file cannot be rewritten: its companion's name is taken by a directory.
    const std::string saved = account_ini("新しい名前");
    ASSERT_TRUE(make_directory(mailbox + renamed + "/account.$$$"));
    // The caller follows the rename that took place.
    EXPECT_EQ(run(renamed, [&](dialog_account& dialog) {
        type_into(dialog.title_field(), "new");
        type_into(dialog.name_field(), "Taro");
        press(dialog.ok_button());
        EXPECT_TRUE(dialog.isVisible());
    }), "saved|新しい名前|new");
    EXPECT_EQ(report.texts(), names{file_error});
    EXPECT_EQ(list_names(dir / "box"), names{"new"});
    EXPECT_EQ(account_ini("new"), saved);
}

// POP3 with OAuth 2.0 and the Google preset: refused in the clear with nothing written and the field to
// change focused (the checks and their texts are the store's), saved over SSL/TLS. (OK waiting for the
// required fields the first start's end-to-end test shows.)
TEST_F(AccountDialog, OAuth2IsRefusedInTheClearAndSavedWithThePresetsAddresses) {
    EXPECT_EQ(run("", [&](dialog_account& dialog) {
        look_at(dialog, "アカウント");
        fill(dialog);
        oauth2_fields& oauth2 = *dialog.oauth2();
        EXPECT_FALSE(oauth2.isEnabled() || dialog.keyring_box()->isEnabled() || dialog.keyring_box()->isChecked());
        dialog.pop_login()->setCurrentIndex(1);
        EXPECT_TRUE(oauth2.isEnabled() && !dialog.pop_password_field()->isEnabled() && !dialog.apop_box()->isEnabled());
        oauth2.preset()->setCurrentIndex(1);
        type_into(oauth2.client_id_field(), "id.apps");
        press(dialog.ok_button());
        EXPECT_EQ(report.texts(), names{"OAuth 2.0 は SSL/TLS または STARTTLS (STLS) の接続でのみ使えます."});
        EXPECT_EQ(dialog.focusWidget(), dialog.pop_security());
        EXPECT_EQ(list_names(dir / "box"), names{});
        dialog.pop_security()->setCurrentIndex(1);
        press(dialog.ok_button());
    }), "saved||acct");
    const std::string ini = account_ini("acct");
    EXPECT_NE(ini.find("POP login=OAuth2\r\nOAuth2 authorize URL=https://accounts.google.com/o/oauth2/v2/auth\r\n"
                       "OAuth2 token URL=https://oauth2.googleapis.com/token\r\nOAuth2 client id=id.apps\r\n"
                       "OAuth2 scope=https://mail.google.com/\r\n"),
              std::string::npos) << ini;
}

// The browser step against a real authorization server: the refresh token it earns is saved with OK.
TEST_F(AccountDialog, SigningInKeepsTheRefreshTokenForOk) {
    std::unique_ptr<oauth2_server> authority;
    start_server(authority);
    if (!authority || !authority->running()) return;
    scoped_env trust("SSL_CERT_FILE", authority->ca_file().c_str()), browser("BROWSER", scripted_browser().c_str());
    EXPECT_EQ(run("", [&](dialog_account& dialog) {
        fill(dialog);
        dialog.smtp_login()->setCurrentIndex(1);
        dialog.smtp_security()->setCurrentIndex(2);
        oauth2_fields& oauth2 = *dialog.oauth2();
        for (auto [field, text] : {std::pair{oauth2.authorize_url_field(), authority->authorize_url()},
                                   {oauth2.token_url_field(), authority->token_url()},
                                   {oauth2.client_id_field(), std::string("quillmere-test")},
                                   {oauth2.scope_field(), std::string("mail")}})
            type_into(field, text);
        EXPECT_EQ(oauth2.status_label()->text(), "まだ認可されていません");
        press(oauth2.sign_in_button());
        EXPECT_EQ(report.texts(), names{"ブラウザでの認可が完了しました."});
        EXPECT_EQ(oauth2.status_label()->text(), "認可済み (リフレッシュトークンを保存しています)");
        press(dialog.ok_button());
    }), "saved||acct");
    EXPECT_NE(read_account_password(mailbox, "acct", account_key::oauth2_refresh_token), "");
    EXPECT_EQ(authority->events(), (names{"authorize ok", "token code ok"}));
}

// With a keyring a typed password goes there, shows as stored, and comes back to the file unchecked.
struct AccountDialogKeyring : AccountDialog {
    void SetUp() override { start_server(keyring); }
    std::unique_ptr<keyring_session> keyring;
};

TEST_F(AccountDialogKeyring, APasswordGoesToTheKeyringAndBackToTheFile) {
    EXPECT_EQ(run("", [&](dialog_account& dialog) {
        EXPECT_TRUE(dialog.keyring_box()->isChecked() && dialog.keyring_box()->isEnabled());
        fill(dialog);
        type_into(dialog.pop_password_field(), "秘密");
        press(dialog.ok_button());
    }), "saved||acct");
    const std::string id = raw_key("acct", account_key::keyring_id);
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(raw_key("acct", account_key::pop_password), "");
    EXPECT_EQ(keyring_lookup(id, secret_kind::pop_password), sj("秘密"));
    EXPECT_EQ(run("acct", [&](dialog_account& dialog) {
        EXPECT_EQ(dialog.pop_password_field()->placeholderText(), "保存済み (変えるときだけ入力)");
        dialog.keyring_box()->click();
        press(dialog.ok_button());
    }), "saved|acct|acct");
    EXPECT_EQ(u8(read_account_password(mailbox, "acct", account_key::pop_password)) + "|" +
                  raw_key("acct", account_key::keyring_id), "秘密|");
    EXPECT_EQ(keyring_lookup(id, secret_kind::pop_password), std::nullopt);
}

TEST_F(AccountDialog, DeletingAsksBothQuestionsThenTheAccountWithItsMailIsGone) {
    ASSERT_TRUE(create_account(mailbox, "old", {}));
    ASSERT_TRUE(create_account(mailbox, "other", {}));
    write_bytes(dir / "box/old/ 受信箱/.0/0", "Subject: gone\r\n");
    EXPECT_EQ(run("old", [&](dialog_account& dialog) {
        report.answers = {true, false};  // No to the second question: nothing is deleted
        press(dialog.delete_button());
        EXPECT_EQ(report.texts(), (names{"削除しますか?", "以下全てのメールが削除されますがよろしいですか?"}));
        EXPECT_TRUE(exists(dir / "box/old/ 受信箱/.0/0"));
        report.answers = {true, true};
        press(dialog.delete_button());
    }), "deleted|old|");
    EXPECT_EQ(list_names(dir / "box"), names{"other"});
}

}  // namespace
}  // namespace qm::test
