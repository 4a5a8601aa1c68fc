// The attachment list over real message directories: what it does to the
// part files, what it writes where the user chose, and what it tells.

#include <QFileDialog>

#include "app/typing.h"
#include "config/profile.h"
#include "entry_dialog_test.h"
#include "message/header_fields.h"
#include "store/store_fixture.h"
#include "support/recording_program.h"
#include "ui/dialog_attachment.h"
#include "ui/dialog_attachment_edit.h"

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

    char flag(const std::string& message_dir) {
        return profile_read_char(message_dir + "status.ini", status_section, status_key_attachment, '?');
    }
    static std::vector<std::string> rows(dialog_attachment& dialog) { return tree_rows(dialog.part_list(), "|"); }
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

TEST_F(AttachmentDialog, ADraftTakesFilesButNotOnesThatLookLikePrograms) {
    write_bytes(dir / "files/setup.EXE", "MZ");
    write_bytes(dir / "files/file.exe.txt", "plain text\r\n");
    write_bytes(dir / "files/empty.txt", "");
    dialog_attachment dialog(nullptr, draft, true, settings(), report);
    look_at(dialog, "添付ファイル一覧");
    EXPECT_TRUE(dialog.add_button()->isEnabled());
    EXPECT_FALSE(dialog.rename_button()->isEnabled() || dialog.delete_button()->isEnabled() ||
                 dialog.restore_button()->isEnabled());

    choose([&] { press(dialog.add_button()); }, dir / "files/setup.EXE");
    choose([&] { dialog.popup_menu()->actions().at(0)->trigger(); }, dir / "files/empty.txt");
    EXPECT_EQ(report.texts(), (names{dangerous_text, "空のファイルは添付できません."}));
    EXPECT_EQ(report.shown.at(0).first, message_kind::notice);
    EXPECT_EQ(list_names(at(" 送信箱/草稿/.0")), (names{"0", "1", "status.ini"}));
    EXPECT_FALSE(dialog.changed());

    // The "make mail" letter adds too.
    choose([&] { QTest::keyClick(dialog.part_list(), Qt::Key_N); }, dir / "files/file.exe.txt");
    EXPECT_EQ(report.shown.size(), 2u);
    const std::string size = std::to_string(read_bytes(at(" 送信箱/草稿/.0/2")).size());
    EXPECT_EQ(rows(dialog), names{"application/octet-stream|file.exe.txt|" + size});
    EXPECT_EQ(flag(draft), '+');
    EXPECT_TRUE(dialog.changed());
    EXPECT_TRUE(dialog.rename_button()->isEnabled() && dialog.delete_button()->isEnabled());
}

TEST_F(AttachmentDialog, DeletingAsksFirstTheLastPartClearsTheFlagAndTheEntryPointTellsTheChange) {
    write_bytes(dir / "a.bin", "aaaa");
    write_bytes(dir / "b.bin", "bbbbbbbb");
    ASSERT_EQ(add_attachment_part(draft, dir.cp("a.bin")), 2);
    ASSERT_EQ(add_attachment_part(draft, dir.cp("b.bin")), 3);
    bool changed = true;
    with_modal<dialog_attachment>([&] { changed = run_attachment_dialog(nullptr, draft, true, settings(), report); },
                                  [&](dialog_attachment& dialog) {
                                      report.answer = false;
                                      QTest::keyClick(dialog.part_list(), Qt::Key_Delete);
                                      EXPECT_EQ(report.shown.size(), 1u);
                                  });
    EXPECT_FALSE(changed);
    with_modal<dialog_attachment>([&] { changed = run_attachment_dialog(nullptr, draft, true, settings(), report); },
                                  [&](dialog_attachment& dialog) {
                                      ASSERT_EQ(rows(dialog).size(), 2u);
                                      report.answer = true;
                                      press(dialog.delete_button());  // a.bin, the selected first row
                                      ASSERT_EQ(rows(dialog).size(), 1u);
                                      EXPECT_NE(rows(dialog)[0].find("|b.bin|"), std::string::npos);
                                      EXPECT_EQ(flag(draft), '+');
                                      dialog.popup_menu()->actions().at(2)->trigger();
                                      EXPECT_FALSE(dialog.delete_button()->isEnabled());
                                  });
    EXPECT_TRUE(changed);
    EXPECT_EQ(flag(draft), '-');
    EXPECT_EQ(list_names(at(" 送信箱/草稿/.0")), (names{"0", "1", "status.ini"}));
}

TEST_F(AttachmentDialog, ARestoredPartIsTheFileThatWasAttached) {
    std::string binary = bytes_from_zero(256);
    for (int i = 0; i < 40; ++i) binary += "line\r\n\x1a\n" + bytes_from_zero(97);
    write_bytes(dir / "photo.bin", binary);
    dialog_attachment dialog(nullptr, draft, true, settings(), report);
    dialog.show();
    choose([&] { dialog.add_file(); }, dir / "photo.bin");
    ASSERT_EQ(rows(dialog).size(), 1u);

    make_directory(dir.cp("saved/"));
    const QString offered = choose([&] { QTest::keyClick(dialog.part_list(), Qt::Key_Return); }, dir / "saved/copy.bin");
    EXPECT_EQ(offered, "photo.bin");
    EXPECT_EQ(report.texts(), names{restored_text});
    EXPECT_EQ(read_bytes(dir / "saved/copy.bin"), binary);
}

TEST_F(AttachmentDialog, AReceivedMailIsOnlyRestoredOrViewed) {
    message(" 受信箱/", 0, 'R',
            {"From: a@example.com\r\n", "\r\nbody\r\n",
             "Content-Type: application/x; name=\"../x\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC/w==\r\n",
             "Content-Type: application/x-msdownload; name=\"tool.Exe\"\r\nContent-Transfer-Encoding: base64\r\n\r\nTVo=\r\n",
             "Content-Type: text/x-log; name=\"run.log\"\r\n\r\nstarted\r\n"});
    dialog_attachment dialog(nullptr, received, false, settings(), report);
    dialog.show();
    EXPECT_EQ(rows(dialog), (names{"application/x|../x|" + std::to_string(read_bytes(at(" 受信箱/.0/2")).size()),
                                   "application/x-msdownload|tool.Exe|" + std::to_string(read_bytes(at(" 受信箱/.0/3")).size()),
                                   "text/x-log|run.log|" + std::to_string(read_bytes(at(" 受信箱/.0/4")).size())}));
    EXPECT_FALSE(dialog.add_button()->isEnabled() || dialog.rename_button()->isEnabled() ||
                 dialog.delete_button()->isEnabled());
    const QList<QAction*> menu = dialog.popup_menu()->actions();
    EXPECT_FALSE(menu[0]->isEnabled() || menu[2]->isEnabled());
    EXPECT_TRUE(menu[3]->isEnabled() && dialog.restore_button()->isEnabled());
    EXPECT_EQ(modal_dialogs_opened_by([&] { QTest::keyClick(dialog.part_list(), Qt::Key_N); }), 0);
    QTest::keyClick(dialog.part_list(), Qt::Key_Delete);
    EXPECT_TRUE(report.shown.empty());

    // A name that leads out of the folder is offered without its path.
    EXPECT_EQ(choose([&] { dialog.restore_entry(); }, ""), "x");
    EXPECT_TRUE(report.shown.empty());

    // A program is restored only after the warning is answered with OK.
    select_row(dialog.part_list(), 1);
    report.answer = false;
    EXPECT_EQ(modal_dialogs_opened_by([&] { press(dialog.restore_button()); }), 0);
    EXPECT_EQ(report.texts(), names{virus_question});
    report.answer = true;
    EXPECT_EQ(choose([&] { menu[3]->trigger(); }, dir / "tool.exe"), "tool.Exe");
    EXPECT_EQ(read_bytes(dir / "tool.exe"), "MZ");
    EXPECT_EQ(report.texts(), (names{virus_question, virus_question, restored_text}));

    // A text part goes to the viewer, as a read-only copy.
    select_row(dialog.part_list(), 2);
    QTest::keyClick(dialog.part_list(), Qt::Key_Return);
    EXPECT_EQ(viewer.wait_for_runs(1), std::vector<std::vector<std::string>>{{dir / "tmp/qlm_0000.TXT"}});
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), read_bytes(at(" 受信箱/.0/4")));
    EXPECT_EQ(report.shown.size(), 3u);
    EXPECT_FALSE(dialog.changed());

    // The "open menu mail" letter opens the pop-up menu.
    QTest::keyClick(dialog.part_list(), Qt::Key_F);
    EXPECT_TRUE(dialog.popup_menu()->isVisible());
    dialog.popup_menu()->hide();
}

TEST_F(AttachmentDialog, RenamingTakesOnlyANameTheRecipientCanSave) {
    write_bytes(dir / "report.pdf", "%PDF");
    ASSERT_EQ(add_attachment_part(draft, dir.cp("report.pdf")), 2);
    dialog_attachment dialog(nullptr, draft, true, settings(), report);
    dialog.show();
    with_modal<dialog_attachment_edit>([&] { press(dialog.rename_button()); },
                                       [&](dialog_attachment_edit& edit) {
                                           look_at(edit, "ファイル名?");
                                           EXPECT_EQ(edit.field()->text(), "report.pdf");
                                           for (const char* name : {"a:b.pdf", "report.pdf.scr", "報告.pdf"}) {
                                               type_into(edit.field(), name);
                                               QTest::keyClick(edit.field(), Qt::Key_Return);
                                           }
                                           EXPECT_FALSE(edit.isVisible());
                                       });
    EXPECT_EQ(report.texts().size(), 2u);
    EXPECT_EQ(report.texts().at(1), dangerous_text);
    EXPECT_NE(rows(dialog).at(0).find("|報告.pdf|"), std::string::npos);
    std::string name;
    ASSERT_TRUE(get_part_filename(draft, 2, name, part_name_capacity));
    EXPECT_EQ(name, sj("報告.pdf"));
    EXPECT_TRUE(dialog.changed());
}

}  // namespace
}  // namespace qm::test
