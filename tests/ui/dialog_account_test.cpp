// The account dialog over a real mailbox: what it writes into the account
// directories and their "account.ini", and what it tells the user.

#include <QAction>
#include <QCheckBox>
#include <deque>

#include "config/account_settings.h"
#include "config/profile.h"
#include "store/accounts.h"
#include "app/typing.h"
#include "entry_dialog_test.h"
#include "ui/dialog_account.h"

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

const std::string folder_rules = "(1) 次の文字は使用できません.\n    \"*/:<>?\\|\n\n(2) 使用できない名前です.\n\n(3) 先頭の.は許されません.";

class AccountDialog : public ::testing::Test {
protected:
    AccountDialog() { make_directory(mailbox); }

    static void type(QLineEdit* field, const std::string& utf8) { type_into(field, utf8); }
    static void press_ok(dialog_account& dialog) { QTest::mouseClick(dialog.ok_button(), Qt::LeftButton); }
    // The required fields of a new account.
    static void fill_required(dialog_account& dialog, const std::string& title) {
        type(dialog.title_field(), title);
        type(dialog.address_field(), "taro@example.com");
        type(dialog.pop_server_field(), "pop.example.com");
        type(dialog.pop_id_field(), "taro");
        type(dialog.smtp_server_field(), "smtp.example.com");
    }
    // Runs the dialog as the window does; `use` acts on it once it is shown.
    account_dialog_result run(const std::string* title, const std::function<void(dialog_account&)>& use) {
        account_dialog_result result;
        with_modal<dialog_account>([&] { result = run_account_dialog(nullptr, mailbox, title, report); }, use);
        return result;
    }
    std::string raw_key(const std::string& title, std::string_view key) const {
        return profile_read_string(account_file(mailbox, title), account_section, key, "<none>", 4096);
    }
    void make_account(const std::string& title, const account_values& values) {
        ASSERT_TRUE(create_account(mailbox, title, values));
    }
    void expect_results(const account_dialog_result& r, account_dialog_result::outcome what, const std::string& old_title,
                        const std::string& new_title) {
        EXPECT_EQ(r.what, what);
        EXPECT_EQ(r.old_title, old_title);
        EXPECT_EQ(u8(r.new_title), new_title);
    }
    static account_values sample() {
        account_values values;
        values.name = sj("山田 太郎");
        values.address = "taro@example.com";
        values.pop_server = "pop.example.com";
        values.pop_port = "995";
        values.pop_over_ssl = true;
        values.pop_id = "taro";
        values.pop_password = "pop secret";
        scramble_password(values.pop_password);
        values.smtp_server = "smtp.example.com";
        values.smtp_port = "587";
        values.smtp_auth = true;
        values.smtp_id = "taro-smtp";
        values.smtp_password = "?smtp";
        scramble_password(values.smtp_password);
        values.auto_bcc = "me@example.com";
        return values;
    }

    // The values but the passwords, in one line.
    static std::string describe(const account_values& v) {
        auto mark = [](bool on, const char* word) { return on ? std::string(" ") + word : std::string(); };
        return u8(v.name) + "|" + v.address + "|" + v.pop_server + ":" + v.pop_port + mark(v.pop_over_ssl, "ssl") +
               mark(v.apop, "apop") + "|" + v.pop_id + mark(!v.pop_remove, "keep") + "|" + v.smtp_server + ":" +
               v.smtp_port + mark(v.smtp_over_ssl, "ssl") + mark(v.smtp_auth, "auth") + "|" + v.smtp_id +
               "|cc " + v.auto_cc + "|bcc " + u8(v.auto_bcc) + (v.verify_certificate ? "" : "|no check");
    }

    temp_dir dir;
    const std::string mailbox = dir.cp("box/");
    scripted_reporter report;
};

TEST_F(AccountDialog, OkWaitsForEveryRequiredFieldAndTheOptionsLeadTheirFields) {
    dialog_account dialog(nullptr, mailbox, nullptr, report);
    look_at(dialog, "アカウント");
    EXPECT_EQ(dialog.delete_button(), nullptr);  // nothing to delete yet
    // The usual ports, received mail removed, certificates checked; the SMTP user waits for SMTP AUTH.
    EXPECT_EQ(dialog.pop_port_field()->text() + "/" + dialog.smtp_port_field()->text(), "110/25");
    EXPECT_TRUE(dialog.pop_remove_box()->isChecked() && dialog.verify_box()->isChecked());
    EXPECT_FALSE(dialog.apop_box()->isChecked() || dialog.smtp_id_field()->isEnabled() ||
                 dialog.smtp_password_field()->isEnabled());

    for (QLineEdit* field : {dialog.title_field(), dialog.address_field(), dialog.pop_server_field(),
                             dialog.pop_id_field(), dialog.smtp_server_field()}) {
        EXPECT_FALSE(dialog.ok_button()->isEnabled()) << field->accessibleName().toStdString();
        type(field, "x@example.com");
    }
    EXPECT_TRUE(dialog.ok_button()->isEnabled());
    for (QLineEdit* port : {dialog.pop_port_field(), dialog.smtp_port_field()}) {
        type(port, "");
        EXPECT_FALSE(dialog.ok_button()->isEnabled());
        type(port, "2525");
        EXPECT_TRUE(dialog.ok_button()->isEnabled());
    }
    type(dialog.title_field(), "");
    QTest::keyClick(dialog.pop_id_field(), Qt::Key_Return);  // Enter does nothing then
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(list_names(dir / "box").empty());
    type(dialog.pop_port_field(), "12a345678");  // digits only, five at most
    EXPECT_EQ(dialog.pop_port_field()->text(), "12345");
    dialog.smtp_auth_box()->click();
    EXPECT_TRUE(dialog.smtp_id_field()->isEnabled() && dialog.smtp_password_field()->isEnabled());

    // SSL/TLS sets its port, and a certificate check needs a server over it.
    type(dialog.pop_port_field(), "110");
    EXPECT_FALSE(dialog.verify_box()->isEnabled());
    dialog.pop_security()->setCurrentIndex(1);
    EXPECT_EQ(dialog.pop_port_field()->text(), "995");
    EXPECT_TRUE(dialog.verify_box()->isEnabled());
    dialog.smtp_security()->setCurrentIndex(1);
    dialog.pop_security()->setCurrentIndex(0);
    EXPECT_TRUE(dialog.verify_box()->isEnabled());
    type(dialog.smtp_port_field(), "10465");  // a port of one's own stays
    dialog.smtp_security()->setCurrentIndex(0);
    EXPECT_EQ(dialog.smtp_port_field()->text(), "10465");
    EXPECT_FALSE(dialog.verify_box()->isEnabled());

    press(dialog.help_button());  // the help text: the dialog stays
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(report.shown.empty());
}

TEST_F(AccountDialog, TheUpgradeIsTheThirdChoiceWithItsPortsAndIsSavedAndShownAgain) {
    account_values values = sample();  // POP3 over SSL on 995, SMTP plain on 587
    make_account("acct", values);
    const std::string title = "acct";
    run(&title, [&](dialog_account& dialog) {
        EXPECT_EQ(dialog.pop_security()->count(), 3);
        EXPECT_EQ(dialog.pop_security()->itemText(2), "STLS");
        EXPECT_EQ(dialog.smtp_security()->itemText(2), "STARTTLS");
        dialog.pop_security()->setCurrentIndex(2);  // 995 was SSL/TLS's port: STLS takes 110
        EXPECT_EQ(dialog.pop_port_field()->text(), "110");
        EXPECT_TRUE(dialog.verify_box()->isEnabled());  // the upgrade checks the certificate too
        type(dialog.smtp_port_field(), "25");
        dialog.smtp_security()->setCurrentIndex(2);  // 25 follows to 587, and back
        EXPECT_EQ(dialog.smtp_port_field()->text(), "587");
        dialog.smtp_security()->setCurrentIndex(1);
        EXPECT_EQ(dialog.smtp_port_field()->text(), "465");
        dialog.smtp_security()->setCurrentIndex(2);
        EXPECT_EQ(dialog.smtp_port_field()->text(), "587");
        press_ok(dialog);
    });
    EXPECT_EQ(raw_key(title, account_key::pop_over_ssl) + raw_key(title, account_key::pop_stls) +
                  raw_key(title, account_key::smtp_over_ssl) + raw_key(title, account_key::smtp_starttls),
              "-+-+");
    EXPECT_EQ(raw_key(title, account_key::pop_port) + "/" + raw_key(title, account_key::smtp_port), "110/587");
    run(&title, [&](dialog_account& dialog) {  // shown as saved; Cancel changes nothing
        EXPECT_EQ(dialog.pop_security()->currentIndex(), 2);
        EXPECT_EQ(dialog.smtp_security()->currentIndex(), 2);
        EXPECT_EQ(dialog.pop_port_field()->text() + "/" + dialog.smtp_port_field()->text(), "110/587");
    });
}

TEST_F(AccountDialog, TheChecksComeInOrderAndKeepTheDialogOpenAtTheOffendingField) {
    make_account("taken", {});
    dialog_account dialog(nullptr, mailbox, nullptr, report);
    dialog.show();
    fill_required(dialog, "a:b");
    type(dialog.name_field(), "Taro (home)");
    type(dialog.address_field(), "x@y");

    struct step {
        QLineEdit* fixed;
        const char* fix;
        std::string message;
        QLineEdit* focus;
    };
    const step steps[] = {
        {nullptr, "", folder_rules, dialog.title_field()},
        {dialog.title_field(), "taken", "名前に次の文字を含めることはできません.\n    \"(),<>@", dialog.name_field()},
        {dialog.name_field(), "山田 太郎", "無効なメールアドレスです.", dialog.address_field()},
        {dialog.address_field(), "taro@example.com", "すでに同名のものが存在します.", dialog.title_field()},
    };
    for (const step& s : steps) {
        if (s.fixed) type(s.fixed, s.fix);
        report.shown.clear();
        press_ok(dialog);
        ASSERT_EQ(report.shown.size(), 1u) << s.message;
        EXPECT_EQ(report.shown[0].first, message_kind::notice);
        EXPECT_EQ(report.texts(), names{s.message});
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.focusWidget(), s.focus) << s.message;
    }
    EXPECT_EQ(list_names(dir / "box"), names{"taken"});
}

TEST_F(AccountDialog, ANewAccountIsWrittenWithEveryField) {
    const account_dialog_result result = run(nullptr, [&](dialog_account& dialog) {
        type(dialog.title_field(), "仕事");
        type(dialog.name_field(), "山田 太郎");
        type(dialog.address_field(), "taro@example.jp");
        type(dialog.pop_server_field(), "pop.example.jp");
        dialog.pop_security()->setCurrentIndex(1);  // the port follows: 995
        dialog.apop_box()->click();
        type(dialog.pop_id_field(), "taro");
        type(dialog.pop_password_field(), "秘密 pop");
        dialog.pop_remove_box()->click();
        type(dialog.smtp_server_field(), "smtp.example.jp");
        type(dialog.smtp_port_field(), "587");
        dialog.smtp_auth_box()->click();
        type(dialog.smtp_id_field(), "taro@smtp");
        type(dialog.smtp_password_field(), "smtp pass");
        dialog.verify_box()->click();
        type(dialog.auto_cc_field(), "boss@example.jp");
        type(dialog.auto_bcc_field(), "控え");
        press_ok(dialog);
        EXPECT_FALSE(dialog.isVisible());
    });
    expect_results(result, account_dialog_result::outcome::saved, "", "仕事");
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir / "box/仕事/ 送信箱"), (names{"草稿", "送信控"}));
    const account_values v = load_account_values(mailbox, sj("仕事"));
    EXPECT_EQ(describe(v),
              "山田 太郎|taro@example.jp|pop.example.jp:995 ssl apop|taro keep|smtp.example.jp:587 auth|taro@smtp|"
              "cc boss@example.jp|bcc 控え|no check");
    // The passwords are stored scrambled and read back as typed.
    EXPECT_TRUE(v.pop_password.starts_with('?') && v.pop_password.find("pop") == std::string::npos);
    EXPECT_EQ(u8(read_account_password(mailbox, sj("仕事"), account_key::pop_password)), "秘密 pop");
    EXPECT_EQ(read_account_password(mailbox, sj("仕事"), account_key::smtp_password), "smtp pass");
}

TEST_F(AccountDialog, ANewAccountIsRefusedAtTheLimitAndAGoneAccountIsNotOpened) {
    for (int i = 0; i < 99; ++i) ASSERT_TRUE(make_directory(mailbox + "a" + std::to_string(i)));
    account_dialog_result result;
    EXPECT_EQ(modal_dialogs_opened_by([&] { result = run_account_dialog(nullptr, mailbox, nullptr, report); }), 0);
    EXPECT_EQ(result.what, account_dialog_result::outcome::cancelled);
    EXPECT_EQ(report.texts(), names{"これ以上の項目は作成できません."});
    EXPECT_EQ(report.shown.at(0).first, message_kind::notice);
    const std::string gone = "gone";
    EXPECT_EQ(modal_dialogs_opened_by([&] { result = run_account_dialog(nullptr, mailbox, &gone, report); }), 0);
    EXPECT_EQ(result.what, account_dialog_result::outcome::cancelled);
    EXPECT_EQ(report.texts(), (names{"これ以上の項目は作成できません.", "ファイルの読み書きに失敗しました."}));
}

TEST_F(AccountDialog, RenamingMovesTheAccountWithItsMailAndKeepsEveryValue) {
    make_account("old", sample());
    write_bytes(dir / "box/old/ 受信箱/.0/0", "Subject: kept\r\n");
    make_account("other", {});
    const std::string before = read_bytes(dir / "box/old/account.ini");
    const std::string title = "old";
    const account_dialog_result result = run(&title, [&](dialog_account& dialog) {
        EXPECT_TRUE(dialog.smtp_auth_box()->isChecked() && dialog.smtp_id_field()->isEnabled());
        // A stored password is never shown, only said to be there.
        for (QLineEdit* password : {dialog.pop_password_field(), dialog.smtp_password_field()}) {
            EXPECT_EQ(password->text(), "");
            EXPECT_EQ(password->placeholderText(), ui("保存済み (変えるときだけ入力)"));
        }
        type(dialog.title_field(), "other");  // another account's title
        press_ok(dialog);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(report.texts(), names{"すでに同名のものが存在します."});
        type(dialog.title_field(), "新しい名前");
        press_ok(dialog);
        EXPECT_FALSE(dialog.isVisible());
    });
    expect_results(result, account_dialog_result::outcome::saved, "old", "新しい名前");
    EXPECT_EQ(list_names(dir / "box"), (names{"other", "新しい名前"}));
    EXPECT_EQ(read_bytes(dir / "box/新しい名前/ 受信箱/.0/0"), "Subject: kept\r\n");
    // Nothing was changed but the title: the file is as it was, passwords included.
    EXPECT_EQ(read_bytes(dir / "box/新しい名前/account.ini"), before);

    // A change of case only is another title on a case-sensitive file system; Cancel changes nothing.
    const std::string renamed = sj("新しい名前"), other = "Other";
    run(&renamed, [&](dialog_account& dialog) {
        type(dialog.title_field(), "Other");
        press_ok(dialog);
    });
    const account_dialog_result cancelled = run(&other, [&](dialog_account& dialog) {
        type(dialog.title_field(), "third");
        type(dialog.pop_password_field(), "typed");
    });
    EXPECT_EQ(cancelled.what, account_dialog_result::outcome::cancelled);
    EXPECT_EQ(list_names(dir / "box"), (names{"Other", "other"}));
    EXPECT_EQ(read_bytes(dir / "box/Other/account.ini"), before);
}

TEST_F(AccountDialog, AFailedWriteKeepsTheDialogOpenAndTellsAnyRenameThatTookPlace) {
    make_account("old", sample());
    // The account file cannot be rewritten: its companion's name is taken by a directory.
    ASSERT_TRUE(make_directory(mailbox + "old/account.$$$"));
    const std::string title = "old";
    const account_dialog_result result = run(&title, [&](dialog_account& dialog) {
        type(dialog.title_field(), "new");
        press_ok(dialog);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(report.shown.at(0).first, message_kind::error);
        EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
        press_ok(dialog);  // the directory has its new title already: only the write is tried again
        EXPECT_EQ(report.texts(), (names{"ファイルの読み書きに失敗しました.", "ファイルの読み書きに失敗しました."}));
    });
    expect_results(result, account_dialog_result::outcome::saved, "old", "new");
    EXPECT_EQ(list_names(dir / "box"), names{"new"});
}

TEST_F(AccountDialog, DeletingAsksBothQuestionsAndThenTheAccountWithItsMailIsGone) {
    make_account("old", sample());
    make_account("other", {});
    write_bytes(dir / "box/old/ 受信箱/.0/0", "Subject: gone\r\n");
    const std::string title = "old";
    const account_dialog_result result = run(&title, [&](dialog_account& dialog) {
        report.answers = {true, false};  // No to the second question: nothing is deleted
        press(dialog.delete_button());
        EXPECT_EQ(report.texts(), (names{"削除しますか?", "以下全てのメールが削除されますがよろしいですか?"}));
        EXPECT_EQ(report.shown.at(1).first, message_kind::confirm);
        EXPECT_TRUE(exists(dir / "box/old/ 受信箱/.0/0"));
        EXPECT_TRUE(dialog.isVisible());

        report.answers = {true, true};
        press(dialog.delete_button());
        EXPECT_FALSE(dialog.isVisible());
    });
    expect_results(result, account_dialog_result::outcome::deleted, "old", "");
    EXPECT_FALSE(exists(dir / "box/old"));
    EXPECT_EQ(list_names(dir / "box"), names{"other"});
}

TEST_F(AccountDialog, APasswordIsStoredAsTypedAndAnUntouchedOneStaysByteForByte) {
    dialog_account dialog(nullptr, mailbox, nullptr, report);
    dialog.show();
    fill_required(dialog, "acc");
    EXPECT_EQ(dialog.pop_password_field()->placeholderText(), ui("空欄なら送受信のたびに尋ねます"));
    EXPECT_FALSE(dialog.pop_password_forget()->isVisible());
    type(dialog.pop_password_field(), "?abc");  // looks like a stored password, but was typed
    dialog.smtp_auth_box()->click();
    type(dialog.smtp_password_field(), "?");
    press_ok(dialog);
    ASSERT_FALSE(dialog.isVisible());
    EXPECT_EQ(read_account_password(mailbox, "acc", account_key::pop_password), "?abc");
    EXPECT_EQ(read_account_password(mailbox, "acc", account_key::smtp_password), "?");
    const std::string stored_pop = raw_key("acc", account_key::pop_password);
    EXPECT_NE(stored_pop, "?abc");

    // Untouched fields keep what is stored, byte for byte: scrambled, or plain as written by hand.
    ASSERT_TRUE(profile_write_string(account_file(mailbox, "acc"), account_section, account_key::smtp_password,
                                     "plain", false));
    const std::string title = "acc";
    run(&title, [&](dialog_account& edit) {
        EXPECT_TRUE(edit.pop_password_forget()->isVisible());
        type(edit.name_field(), "Taro");
        press_ok(edit);
    });
    EXPECT_EQ(raw_key("acc", account_key::pop_password), stored_pop);
    EXPECT_EQ(raw_key("acc", account_key::smtp_password), "plain");
    EXPECT_EQ(raw_key("acc", account_key::name), "Taro");

    // A new password replaces the stored one; "消す" forgets one.
    run(&title, [&](dialog_account& edit) {
        type(edit.pop_password_field(), "new pop");
        edit.smtp_password_forget()->trigger();
        EXPECT_EQ(edit.smtp_password_field()->placeholderText(), ui("空欄なら送受信のたびに尋ねます"));
        EXPECT_FALSE(edit.smtp_password_forget()->isVisible());
        press_ok(edit);
    });
    EXPECT_EQ(read_account_password(mailbox, "acc", account_key::pop_password), "new pop");
    EXPECT_EQ(raw_key("acc", account_key::smtp_password), "");
    EXPECT_TRUE(report.shown.empty());
}

}  // namespace
}  // namespace qm::test
