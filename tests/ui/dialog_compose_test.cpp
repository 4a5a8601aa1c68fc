// The new-mail and reply dialogs over a real data directory: the new mail
// compared byte for byte with what quillmere-cli makes of the same input,
// and what a cancel or a gone mail files.

#include "cli/cli_runner.h"
#include "config/account_settings.h"
#include "config/signatures.h"
#include "entry_dialog_test.h"
#include "ui/dialog_make_mail.h"
#include "ui/dialog_reply.h"

namespace qm::test {
namespace {

// The data directory (the CLI's $QUILLMERE_HOME as well) with the account
// "A": its address and a template. The text editor of the
// program and of the CLI records what it is started on.
class ComposeDialogs : public cli_test {
protected:
    const saved_context saved;
    ComposeDialogs() {
        set_context({home.cp(), tmp.cp(), tmp.cp("work/"), home.cp()});
        settings() = Settings{};
        settings().mailbox = home.cp("mailbox/");
        settings().text_editor = sj(editor.path());
        write_bytes(home / "quillmere.ini", "[string]\r\ntext editor=" + editor.path() + "\r\n");
        EXPECT_TRUE(make_directory(settings().mailbox) && make_directory(account_root) &&
                    make_special_folders(account_root));
        account_values account;
        account.name = "Taro";
        account.address = "taro@example.jp";
        EXPECT_TRUE(write_account_file(account_file(settings().mailbox, "A"), account));
        EXPECT_TRUE(save_template(account_root, "tpl", "Reply-To: desk@example.jp", sj("いつもお世話になっております。")));
        ctx = {settings().mailbox, account_root, context().work_directory,
               load_current_account(settings().mailbox, "A")};
    }

    std::string drafts() const { return home / "mailbox/A/ 送信箱/草稿/"; }
    // A draft's file as UTF-8, its Date value as "*".
    std::string draft(int number, const std::string& file) const {
        return date_marked(u8(read_bytes(drafts() + "." + std::to_string(number) + "/" + file)));
    }
    const std::string account_root = home.cp("mailbox/A/");
    recording_program editor{tmp / "editor", tmp / "editor.log"};
    compose_context ctx;
    recording_reporter report;
};

TEST_F(ComposeDialogs, NewMailFilesWhatTheCliMakes) {
    int number = -2;
    with_modal<dialog_make_mail>([&] { number = run_make_mail_dialog(nullptr, ctx, report); },
                                 [&](dialog_make_mail& dialog) {
        look_at(dialog, "新規メール作成");
        type_into(dialog.recipient_field()->lineEdit(), "hanako@example.jp");
        type_into(dialog.subject_field(), "件名 テスト");
        dialog.template_choice()->setCurrentIndex(1);
        press(dialog.ok_button());
    });
    EXPECT_EQ(number, 0);
    EXPECT_EQ(draft(0, "0"), crlf("Reply-To: desk@example.jp\nDate: *\nFrom: \"Taro\" <taro@example.jp>\n"
                                  "Subject: 件名 テスト\nTo: hanako@example.jp\n"));

    // The command-line program, asked the same, makes the same files (their bytes are the store's).
    run_ok("new A --to hanako@example.jp --subject '件名 テスト' --template tpl");
    for (const char* file : {"0", "1", "status.ini"}) EXPECT_EQ(draft(1, file), draft(0, file)) << file;
    EXPECT_EQ(editor.wait_for_runs(2), (std::vector<names>{{drafts() + ".0/1"}, {drafts() + ".1/1"}}));
}

TEST_F(ComposeDialogs, AReplyCancelledOrToAGoneMailFilesNothing) {
    const std::string source = home / "mailbox/A/ 受信箱/.2/";
    write_message(source, {stored("From: a@example.org\nSubject: x\n"), stored("\nline1\n")}, type_status('R'));
    int number = -2;
    with_modal<dialog_reply>([&] { number = run_reply_dialog(nullptr, ctx, sj(source), report); },
                             [](dialog_reply& dialog) { look_at(dialog, "返信"); });
    EXPECT_EQ(number, -1);
    EXPECT_EQ(read_bytes(source + "status.ini"), type_status('R'));
    // A message gone meanwhile is told, without a dialog.
    EXPECT_EQ(modal_dialogs_opened_by(
                  [&] { number = run_reply_dialog(nullptr, ctx, sj(home / "mailbox/A/ 受信箱/.9/"), report); }),
              0);
    EXPECT_EQ(report.texts(), names{file_error});
    EXPECT_EQ(list_names(drafts()), names{});
}

}  // namespace
}  // namespace qm::test
