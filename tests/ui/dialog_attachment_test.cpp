// The attachment list over real message directories: what it does to the
// part files, what it writes where the user chose, and what it tells.

#include <QFileDialog>

#include "config/profile.h"
#include "entry_dialog_test.h"
#include "ui/dialog_attachment.h"

namespace qm::test {
namespace {

const std::string dangerous_text =
    "このファイルの拡張子は、\n添付した場合にウイルスと誤解されてしまう可能性があるため、\n"
    "圧縮するなどしてファイルの拡張子を別のものに変えて下さい。";
const std::string virus_question =
    "この添付ファイルは、ウイルスである可能性があります。\n安全なものであると確認できない限り、\n"
    "復元や実行をしないことを強く推奨します。\n復元を続行しますか?";
const std::string restored_text = "添付ファイルの復元が正常に行われました.";

class AttachmentDialog : public store_test {
protected:
    scoped_env path{"PATH", (dir / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str()};
    recording_program viewer{dir / "bin/viewer", dir / "viewer.log"};
    const std::string draft = cp(" 送信箱/草稿/.0/");
    const std::string received = cp(" 受信箱/.0/");

    AttachmentDialog() {
        set_context({dir.cp(), dir.cp("tmp/"), dir.cp("work/"), dir.cp("bin/")});
        make_directory(dir.cp("tmp/"));
        settings().text_viewer = sj(viewer.path());
        message(" 送信箱/草稿/", 0, 'D', {"To: a@example.com\r\n", "\r\nbody\r\n"});
    }

    char flag() { return profile_read_char(draft + "status.ini", status_section, status_key_attachment, '?'); }
    static std::vector<std::string> rows(dialog_attachment& dialog) { return tree_rows(dialog.part_list(), "|"); }
    std::string size_of(const std::string& part) { return std::to_string(read_bytes(at(part)).size()); }
    // Types `utf8_path` into the file chooser `opener` opens and presses Enter; the name it offered.
    QString choose(const std::function<void()>& opener, const std::string& utf8_path) {
        QString offered;
        with_modal<QFileDialog>(opener, [&](QFileDialog& chooser) {
            auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            offered = name->text();
            if (utf8_path.empty()) return;
            chooser.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&chooser));
            name->setFocus();
            name->setText(ui(utf8_path));
            QTest::keyClick(name, Qt::Key_Return);
            EXPECT_FALSE(chooser.isVisible());
        });
        return offered;
    }
};

TEST_F(AttachmentDialog, ADraftTakesFilesButNotOnesThatLookLikeProgramsRestoresThemAsTheyWereAndDeleteAsksFirst) {
    write_bytes(dir / "files/setup.EXE", "MZ");
    write_bytes(dir / "files/empty.txt", "");
    const std::string binary = bytes_from_zero(256) + "line\r\n\x1a\n";
    write_bytes(dir / "files/photo.exe.bin", binary);
    dialog_attachment dialog(nullptr, draft, true, settings(), report);
    look_at(dialog, "添付ファイル一覧");
    for (const char* file : {"setup.EXE", "empty.txt", "photo.exe.bin"})
        choose([&] { press(dialog.add_button()); }, dir / "files/" + file);
    EXPECT_EQ(report.texts(), (names{dangerous_text, "空のファイルは添付できません."}));
    EXPECT_EQ(rows(dialog), names{"application/octet-stream|photo.exe.bin|" + size_of(" 送信箱/草稿/.0/2")});
    EXPECT_EQ(flag(), '+');
    EXPECT_TRUE(dialog.changed());
    make_directory(dir.cp("saved/"));
    EXPECT_EQ(choose([&] { QTest::keyClick(dialog.part_list(), Qt::Key_Return); }, dir / "saved/copy.bin"),
              "photo.exe.bin");
    EXPECT_EQ(report.texts().back(), restored_text);
    EXPECT_EQ(read_bytes(dir / "saved/copy.bin"), binary);
    // Deleting asks first; the last part clears the attachment mark.
    QTest::keyClick(dialog.part_list(), Qt::Key_Delete);
    EXPECT_EQ(flag(), '-');
    EXPECT_EQ(report.texts().back(), "削除しますか?");
    EXPECT_EQ(list_names(at(" 送信箱/草稿/.0")), (names{"0", "1", "status.ini"}));
}

TEST_F(AttachmentDialog, AReceivedMailIsOnlyRestoredOrViewed) {
    message(" 受信箱/", 0, 'R',
            {"From: a@example.com\r\n", "\r\nbody\r\n",
             "Content-Type: application/x; name=\"../x\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC/w==\r\n",
             "Content-Type: application/x-msdownload; name=\"tool.Exe\"\r\nContent-Transfer-Encoding: base64\r\n\r\nTVo=\r\n",
             "Content-Type: text/x-log; name=\"run.log\"\r\n\r\nstarted\r\n"});
    dialog_attachment dialog(nullptr, received, false, settings(), report);
    dialog.show();
    EXPECT_EQ(rows(dialog).at(1), "application/x-msdownload|tool.Exe|" + size_of(" 受信箱/.0/3"));
    EXPECT_FALSE(dialog.add_button()->isEnabled() || dialog.rename_button()->isEnabled());
    QTest::keyClick(dialog.part_list(), Qt::Key_Delete);
    EXPECT_TRUE(report.shown.empty());
    // A name that leads out of the folder is offered without its path.
    EXPECT_EQ(choose([&] { dialog.restore_entry(); }, ""), "x");

    // A program is restored only after the warning is answered with OK.
    select_row(dialog.part_list(), 1);
    report.answer = false;
    EXPECT_EQ(modal_dialogs_opened_by([&] { press(dialog.restore_button()); }), 0);
    report.answer = true;
    EXPECT_EQ(choose([&] { press(dialog.restore_button()); }, dir / "tool.exe"), "tool.Exe");
    EXPECT_EQ(read_bytes(dir / "tool.exe"), "MZ");
    EXPECT_EQ(report.texts(), (names{virus_question, virus_question, restored_text}));

    // A text part goes to the viewer, as a read-only copy.
    select_row(dialog.part_list(), 2);
    QTest::keyClick(dialog.part_list(), Qt::Key_Return);
    EXPECT_EQ(viewer.wait_for_runs(1), std::vector<std::vector<std::string>>{{dir / "tmp/qlm_0000.TXT"}});
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), read_bytes(at(" 受信箱/.0/4")));
    EXPECT_FALSE(dialog.changed());
}

}  // namespace
}  // namespace qm::test
