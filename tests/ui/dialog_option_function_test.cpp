// The function options over a real "quillmere.ini" and a real mailbox: the
// key letters and a path written by OK (the values' forms are the settings'
// own, tests/config), and moving the mailbox
// (whose refusals the store's tests hold; here the ones met only through
// the dialog, and failures that must leave everything as it was).

#include <filesystem>
#include <fstream>

#include "option_dialog_test.h"
#include "store/accounts.h"
#include "ui/dialog_option_function.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class FunctionOptions : public option_dialog_test {
protected:
    // Whether OK closed the dialog (its messages in `report`).
    bool ok(dialog_option_function& dialog) {
        report.shown.clear();
        dialog.show();
        dialog.accept();
        return dialog.result() == QDialog::Accepted && !dialog.isVisible();
    }
};

TEST_F(FunctionOptions, KeyLettersMustBeElevenCapitalsAndAPathIsWrittenWithSlashes) {
    dialog_option_function dialog(nullptr, settings, report);
    look_at(dialog, "機能オプション");
    const std::string before = ini();
    dialog.key_field()->setText("dfknacmgtsr");
    EXPECT_FALSE(ok(dialog));
    EXPECT_EQ(report.texts(), names{"キー定義はアルファベットの大文字のみで11文字にして下さい."});
    EXPECT_EQ(dialog.focusWidget(), dialog.key_field());
    EXPECT_EQ(ini(), before);
    dialog.key_field()->setText("ABCDEFGHIJK");
    dialog.viewer_field()->setText(ui("C:\\tools\\閲覧.exe"));
    EXPECT_TRUE(ok(dialog));
    EXPECT_TRUE(holds("\nopen menu sort=J\nsearch=K\n"));
    EXPECT_TRUE(holds("\ntext viewer=C:/tools/閲覧.exe\n"));
    EXPECT_EQ(settings.keys, "ABCDEFGHIJK");  // read back
}

class MailboxMove : public FunctionOptions {
protected:
    MailboxMove() {
        recording_reporter quiet;
        EXPECT_TRUE(ensure_mailbox(settings.mailbox, quiet));
        write_bytes(dir / "mailbox/標準アカウント/ 受信箱/1/0", "Subject: hello\r\n");
        write_bytes(dir / "mailbox/標準アカウント/ 受信箱/1/1", "text\r\n");
        original = tree_snapshot(dir / "mailbox");
        settings_before = ini();
    }
    // Refused with `message`: the file, the mailbox and the settings as they were.
    void expect_refused(const std::string& target, const std::string& message) {
        dialog_option_function dialog(nullptr, settings, report);
        dialog.mailbox_field()->setText(ui(target));
        EXPECT_FALSE(ok(dialog)) << target;
        EXPECT_EQ(report.texts(), names{message}) << target;
        EXPECT_EQ(ini(), settings_before);
        EXPECT_EQ(tree_snapshot(dir / "mailbox"), original);
        EXPECT_EQ(settings.mailbox, dir.cp("mailbox/"));
        EXPECT_FALSE(fs::exists(dir / "new"));
    }
    std::map<std::string, std::string> original;
    std::string settings_before;
};

TEST_F(MailboxMove, ARefusedOrFailedMoveLeavesEverythingAsItWasAndANewDirectoryTakesTheWholeTree) {
    write_bytes(dir / "full/note.txt", "mine");
    const std::string file_error = "ファイルの読み書きに失敗しました.";
    // Only met here: a target that holds something, and a file another program holds open.
    expect_refused(dir / "full/", "移動先のフォルダが空ではありません.\n空のフォルダか、新しいフォルダを指定して下さい.");
    {
        std::ifstream draft_in_editor(dir / "mailbox/標準アカウント/ 受信箱/1/1");
        expect_refused(dir / "new/", "メールボックスの中のファイルを開いているプログラムがあります(編集中の草稿など).\n"
                                     "閉じてから、もう一度実行して下さい.");
    }
    write_bytes(dir / "mailbox/標準アカウント/ 受信箱/1/2", std::string(300000, 'x'));
    original = tree_snapshot(dir / "mailbox");
    {
        file_size_limit limit(100000);  // the copy of the large part fails
        expect_refused(dir / "new/", file_error);
    }
    block_settings_file();  // stops the move before it begins
    expect_refused(dir / "new/", file_error);

    remove_tree(dir / "quillmere.$$$");
    int answer = 0;
    with_modal<dialog_option_function>([&] { answer = run_function_options(nullptr, settings, report); },
                                       [&](dialog_option_function& dialog) {
        dialog.mailbox_field()->setText(ui(dir / "新しい箱"));  // the "/" is added
        dialog.accept();
    });
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(tree_snapshot(dir / "新しい箱"), original);
    EXPECT_FALSE(fs::exists(dir / "mailbox"));
    EXPECT_EQ(settings.mailbox, dir.cp("新しい箱/"));
    EXPECT_TRUE(holds("\nmailbox=" + dir / "新しい箱/" + "\n"));
}

}  // namespace
}  // namespace qm::test
