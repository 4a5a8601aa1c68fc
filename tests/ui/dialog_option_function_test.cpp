// The function options over a real "quillmere.ini" and a real mailbox: the
// key letters, the extension list, the interval, and moving the mailbox.

#include <QCheckBox>
#include <QListWidget>
#include <QSpinBox>
#include <filesystem>
#include <fstream>

#include "option_dialog_test.h"
#include "platform/string_table.h"
#include "store/accounts.h"
#include "ui/dialog_option_function.h"
#include "ui/option_list_box.h"

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
    std::string value_of(const std::string& key) const {
        const std::string text = ini();
        const std::size_t at = text.find("\r\n" + key + "=");
        if (at == std::string::npos) return "<missing>";
        const std::size_t start = at + key.size() + 3;
        return text.substr(start, text.find("\r\n", start) - start);
    }
};

TEST_F(FunctionOptions, KeyLettersMustBeElevenCapitals) {
    dialog_option_function dialog(nullptr, settings, report);
    look_at(dialog, "機能オプション");
    EXPECT_EQ(dialog.key_field()->text(), "DFKNACMGTSR");
    const std::string before = ini();
    for (const char* refused : {"DFKNACMGTS", "dfknacmgtsr", "DFKNACMGTS1", "DFKNACMGTSＲ"}) {
        dialog.key_field()->setText(QString::fromUtf8(refused));
        EXPECT_FALSE(ok(dialog)) << refused;
        EXPECT_EQ(report.texts(), names{"キー定義はアルファベットの大文字のみで11文字にして下さい."});
        EXPECT_EQ(dialog.focusWidget(), dialog.key_field());
        EXPECT_EQ(ini(), before);
    }
    dialog.key_field()->setText("ZYXWVUTSRQP");
    press(dialog.default_keys_button());
    EXPECT_EQ(dialog.key_field()->text(), "DFKNACMGTSR");
    dialog.key_field()->setText("ABCDEFGHIJK");
    EXPECT_TRUE(ok(dialog));
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(section("key"), "select account=A\nopen menu mail=B\nmake directory=C\nmake mail=D\nmark all=E\n"
                              "connect=F\nconnect round=G\narrange=H\nclear trash=I\nopen menu sort=J\nsearch=K\n");
    EXPECT_EQ(settings.keys, "ABCDEFGHIJK");
}

TEST_F(FunctionOptions, SwitchesIntervalAndProgramsAreWrittenInTheirForm) {
    dialog_option_function dialog(nullptr, settings, report);
    EXPECT_TRUE(dialog.switch_box(3)->isChecked());
    dialog.switch_box(0)->setChecked(true);
    dialog.switch_box(3)->setChecked(false);
    dialog.switch_box(4)->setChecked(true);
    dialog.interval_field()->setValue(2000);  // the field keeps to 0 to 1440
    EXPECT_EQ(dialog.interval_field()->value(), 1440);
    dialog.viewer_field()->setText(ui("C:\\tools\\閲覧.exe"));
    dialog.editor_field()->setText("gvim -f");
    EXPECT_TRUE(ok(dialog));
    EXPECT_EQ(section("switch"), "list thread=-\nview tree=+\nview preview=+\narrange at receive=+\n"
                                 "arrange at send=-\narrange at terminate=-\ntell remain=-\nclear trash=+\n");
    EXPECT_EQ(section("value"), "check interval=1440\n");
    EXPECT_EQ(u8(value_of("text viewer")), "C:/tools/閲覧.exe");
    EXPECT_EQ(value_of("text editor"), "gvim -f");
    EXPECT_EQ(settings.check_interval, 1440);
    EXPECT_TRUE(settings.clear_trash);
}

TEST_F(FunctionOptions, AnExtensionTextWithoutItsFirstDotListsNothing) {
    std::string text = ini();
    const std::string listed = "dangerous extension=" + std::string(default_dangerous_extensions);
    ASSERT_NE(text.find(listed), std::string::npos);
    text.replace(text.find(listed), listed.size(), "dangerous extension=bat.exe");
    write_bytes(dir / "quillmere.ini", text);
    dialog_option_function dialog(nullptr, settings, report);
    option_list_box* box = dialog.extensions();
    EXPECT_EQ(box->list()->count(), 0);
    EXPECT_FALSE(box->list()->isEnabled());
    EXPECT_FALSE(box->delete_button()->isEnabled());

    with_name_dialog([&] { press(box->add_button()); },
                     [&](dialog_name& ask) {
                         enter_name(ask, ".js");
                         EXPECT_TRUE(ask.isVisible());
                         enter_name(ask, "js");
                         EXPECT_FALSE(ask.isVisible());
                     });
    with_name_dialog([&] { press(box->add_button()); }, [&](dialog_name& ask) { enter_name(ask, "exe"); });
    with_name_dialog([&] { press(box->add_button()); }, [&](dialog_name& ask) { enter_name(ask, "js"); });
    EXPECT_EQ(report.texts(), (names{"次の文字は使用できません.\n    \"*./:<>?\\|", "すでに同名のものが存在します."}));
    ASSERT_EQ(box->list()->count(), 2);
    EXPECT_EQ(box->list()->currentItem()->text(), "exe");  // added at the end, and selected
    EXPECT_TRUE(box->delete_button()->isEnabled());
    EXPECT_TRUE(ok(dialog));
    EXPECT_EQ(value_of("dangerous extension"), ".js.exe");
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
    bool move_to(const std::string& utf8_path) {
        dialog_option_function dialog(nullptr, settings, report);
        dialog.mailbox_field()->setText(ui(utf8_path));
        const bool closed = ok(dialog);
        focus_on_mailbox = dialog.focusWidget() == dialog.mailbox_field();
        return closed;
    }
    // Nothing changed: the file, the mailbox and the settings as they were.
    void expect_unchanged() {
        EXPECT_EQ(ini(), settings_before);
        EXPECT_EQ(tree_snapshot(dir / "mailbox"), original);
        EXPECT_EQ(settings.mailbox, dir.cp("mailbox/"));
    }

    std::map<std::string, std::string> original;
    std::string settings_before;
    bool focus_on_mailbox = false;
};

TEST_F(MailboxMove, ANewDirectoryTakesTheWholeTreeAndTheOldOneGoes) {
    EXPECT_EQ(settings.mailbox, dir.cp("mailbox/"));
    EXPECT_TRUE(move_to(dir / "新しい箱"));  // the "/" is added
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(tree_snapshot(dir / "新しい箱"), original);
    EXPECT_FALSE(fs::exists(dir / "mailbox"));
    EXPECT_EQ(settings.mailbox, dir.cp("新しい箱/"));
    EXPECT_EQ(u8(value_of("mailbox")), dir / "新しい箱/");

    // Back into an empty directory that exists.
    fs::create_directory(dir / "mailbox");
    EXPECT_TRUE(move_to(dir / "mailbox/"));
    EXPECT_EQ(tree_snapshot(dir / "mailbox"), original);
    EXPECT_FALSE(fs::exists(dir / "新しい箱"));
}

TEST_F(MailboxMove, ATargetInsideOrNotEmptyOrMissingItsParentIsRefusedWithNothingChanged) {
    write_bytes(dir / "full/note.txt", "mine");
    const std::pair<std::string, std::string> cases[] = {
        {dir / "mailbox/標準アカウント/inner/",
         "新しいメールボックスフォルダを今のメールボックスの中に置くことはできません."},
        {dir / "full/", "移動先のフォルダが空ではありません.\n空のフォルダか、新しいフォルダを指定して下さい."},
        {dir.path(), "今のメールボックスを含むフォルダへは移動できません."},
        {dir / "missing/new/", "ファイルの読み書きに失敗しました."},
    };
    for (const auto& [target, message] : cases) {
        EXPECT_FALSE(move_to(target)) << target;
        EXPECT_TRUE(focus_on_mailbox) << target;
        EXPECT_EQ(report.texts(), names{message}) << target;
        expect_unchanged();
    }

    std::ifstream draft_in_editor(dir / "mailbox/標準アカウント/ 受信箱/1/1");
    EXPECT_FALSE(move_to(dir / "new/"));
    EXPECT_EQ(report.texts(), names{"メールボックスの中のファイルを開いているプログラムがあります(編集中の草稿など).\n"
                                    "閉じてから、もう一度実行して下さい."});
    expect_unchanged();
    EXPECT_FALSE(fs::exists(dir / "new"));
}

TEST_F(MailboxMove, ASettingsFileThatCannotBeWrittenOrACopyThatFailsLeavesEverythingAsItWas) {
    write_bytes(dir / "mailbox/標準アカウント/ 受信箱/1/2", std::string(300000, 'x'));
    original = tree_snapshot(dir / "mailbox");
    {
        file_size_limit limit(100000);  // the copy of the large part fails
        EXPECT_FALSE(move_to(dir / "new/"));
    }
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    expect_unchanged();
    EXPECT_FALSE(fs::exists(dir / "new"));

    block_settings_file();  // stops the move before it begins
    EXPECT_FALSE(move_to(dir / "new/"));
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    expect_unchanged();
    EXPECT_FALSE(fs::exists(dir / "new"));
}

TEST_F(MailboxMove, WithoutAnOldMailboxTheNewOneIsMadeAsAtAFirstStart) {
    remove_tree(dir / "mailbox");
    EXPECT_TRUE(move_to(dir / "fresh/"));
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(settings.mailbox, dir.cp("fresh/"));
    EXPECT_TRUE(fs::is_directory(dir / "fresh/標準アカウント/ 受信箱"));
}

TEST_F(MailboxMove, TheEntryPointSaysOneWhenSavedAndTwoWhenCancelled) {
    for (const bool saved : {false, true}) {
        QTimer::singleShot(0, [this, saved] {
            auto* dialog = qobject_cast<dialog_option_function*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->mailbox_field()->setText(ui(dir / "moved/"));
            saved ? dialog->accept() : dialog->reject();
        });
        EXPECT_EQ(run_function_options(nullptr, settings, report), saved ? 1 : 2);
        EXPECT_EQ(fs::exists(dir / "moved"), saved);
        EXPECT_EQ(fs::exists(dir / "mailbox"), !saved);
    }
}

}  // namespace
}  // namespace qm::test
