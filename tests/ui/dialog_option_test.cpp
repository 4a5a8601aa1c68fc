// The option dialogs over a real "quillmere.ini" and a real mailbox: a switch, a font, the key letters
// and a path written by OK (the values' forms and their round trip are the settings' own, tests/config),
// a file that cannot be written, and moving the mailbox (whose refusals the store's tests hold; here
// the ones met only through the dialog, and failures that must leave everything as it was).

#include <QCheckBox>
#include <QFont>
#include <filesystem>
#include <fstream>

#include "entry_dialog_test.h"
#include "store/accounts.h"
#include "ui/dialog_option_function.h"
#include "ui/dialog_option_view.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// A fresh data directory with its "quillmere.ini" and the settings loaded from it.
class option_dialog_test : public data_directory_test {
protected:
    option_dialog_test() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(write_default_settings());
        load_view_settings(settings);
        load_function_settings(settings);
    }

    std::string ini() const { return read_bytes(dir / "quillmere.ini"); }
    // Whether "quillmere.ini" holds `lines` (UTF-8 with "\n", in CP932 with CR LF there).
    bool holds(const std::string& lines) const { return ini().find(crlf(sj(lines))) != std::string::npos; }
    // "quillmere.ini" cannot be rewritten: its companion's name is taken by a directory, which stops root as well.
    void block_settings_file() const { write_bytes(dir / "quillmere.$$$/x", ""); }
    // Whether OK closed the dialog (its messages in `report`).
    bool ok(QDialog& dialog) {
        report.shown.clear();
        dialog.show();
        dialog.accept();
        return dialog.result() == QDialog::Accepted && !dialog.isVisible();
    }

    Settings settings;
};

using ViewOptions = option_dialog_test;

TEST_F(ViewOptions, ASwitchAndAFontAreWrittenByOkAndAFileThatCannotBeWrittenKeepsTheDialog) {
    dialog_option_view dialog(nullptr, settings, report);
    look_at(dialog, "表示オプション");
    dialog.thread_check()->setChecked(true);
    QFont font(QStringLiteral("Noto Sans CJK JP"), 12, QFont::Bold, true);
    font.setStyleName(QStringLiteral("Bold"));
    dialog.take_font(font);
    EXPECT_EQ(dialog.font_field()->text(), "Noto Sans CJK JP/12/Bold");
    dialog.accept();
    EXPECT_TRUE(holds("[switch]\nlist thread=+\n"));
    EXPECT_TRUE(holds("[font]\nname=Noto Sans CJK JP\nsize=-" + std::to_string((12 * dialog.logicalDpiY() + 36) / 72) +
                      "\npoint=12\nbold=700\nitalic=+\nstyle=Bold\n"));
    EXPECT_TRUE(settings.list_thread);  // read back into the settings

    // A file that cannot be written is told, and the dialog and the settings stay as they were.
    const std::string before = ini();
    block_settings_file();
    dialog.show();
    dialog.preview_check()->setChecked(false);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(report.texts(), names{file_error});
    EXPECT_EQ(ini(), before);
    EXPECT_TRUE(settings.view_preview);
}

using FunctionOptions = option_dialog_test;

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
    EXPECT_TRUE(holds("\nopen menu sort=J\nsearch=K\n") && holds("\ntext viewer=C:/tools/閲覧.exe\n"));
    EXPECT_EQ(settings.keys, "ABCDEFGHIJK");  // read back
}

class MailboxMove : public option_dialog_test {
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
