// The notepad: its files without a window (what is read, what a save writes, and that the file stays
// held open across a save), and its window on the offscreen platform over real files, real widgets,
// and the message boxes answered as a user would.

#include <QAction>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QWindow>

#include <sys/stat.h>
#include <unistd.h>

#include "app/modal_hand.h"
#include "notepad/notepad_main.h"
#include "notepad/notepad_window.h"
#include "notepad/text_document.h"
#include "store/draft_in_use.h"
#include "ui/entry_dialog_test.h"
#include "ui/qt_text.h"

namespace qm::test {
namespace {

struct opened {
    document_opening outcome;
    text_document document;
    held_file hold;
};

opened open(const std::string& cp932_path) {
    opened result;
    result.outcome = open_text_document(cp932_path, result.document, result.hold);
    return result;
}

class Notepad : public ::testing::Test {
protected:
    // The window the program opens for the file `utf8_name` of the directory.
    std::unique_ptr<notepad_window> start_on(const std::string& utf8_name) {
        std::string program = "quillmere-notepad", file = dir / utf8_name;
        char* argv[] = {program.data(), file.data()};
        auto window = open_notepad(2, argv, QFont());
        if (window) window->show();
        return window;
    }

    temp_dir dir;
};
using TextDocument = Notepad;

TEST_F(TextDocument, ReadsCp932InTextModeAndOpensOnlyARegularFileThatIsThere) {
    write_bytes(dir / "下書き.txt", sj("件名\r\n本文\r行\r\n") + "\x1a" + "after");
    write_bytes(dir / "plain.txt", sj("一行\r\n") + "\x1a");
    opened file = open(dir.cp("下書き.txt"));
    ASSERT_EQ(file.outcome, document_opening::ok);
    // CR LF becomes LF, a lone CR stays, a Ctrl-Z ends the text.
    EXPECT_EQ(u8(file.document.text), "件名\n本文\r行\n");
    EXPECT_TRUE(file.document.text_after_end);
    // A Ctrl-Z as the very last byte ends the file and hides nothing.
    EXPECT_FALSE(open(dir.cp("plain.txt")).document.text_after_end);

    ::mkfifo((dir / "pipe").c_str(), 0600);
    ::mkdir((dir / "folder").c_str(), 0700);
    ::symlink((dir / "gone").c_str(), (dir / "dangling").c_str());
    for (auto [name, expected] : {std::pair{"dangling", document_opening::missing}, {"plain.txt/below", document_opening::missing},
                                  {"folder", document_opening::unreadable}, {"pipe", document_opening::unreadable}}) {
        opened refused = open(dir.cp(name));
        EXPECT_EQ(refused.outcome, expected) << name;
        EXPECT_FALSE(refused.hold.is_held()) << name;
    }
}

// A copy of a mail with characters CP932 lacks is UTF-8 and says so with its first bytes; it reads as
// UTF-8 and a save writes it back the same way, whole, in the file's mode, and holds the new file. A
// save that cannot write leaves the file and the hold as they were.
TEST_F(TextDocument, AMarkedUtf8TextSavesWholeAsUtf8AndHoldsTheNewFile) {
    const std::string file = dir / "1";
    write_bytes(file, "\xEF\xBB\xBF" "件名: café 🎉\r\n\r\n안녕\r\n");
    ::chmod(file.c_str(), 0640);
    opened copy = open(dir.cp("1"));
    ASSERT_EQ(copy.outcome, document_opening::ok);
    EXPECT_TRUE(copy.document.utf8);
    EXPECT_EQ(copy.document.text, "件名: café 🎉\n\n안녕\n");

    const std::string saved = "\xEF\xBB\xBF" "ü 🍣\r\n二行目";
    ASSERT_TRUE(save_text_document(copy.document.path, "ü 🍣\n二行目", copy.hold, true));
    EXPECT_EQ(read_bytes(file), saved);
    EXPECT_EQ(mode_of(file), 0640u);
    EXPECT_EQ(list_names(dir.path()), names{"1"});  // no companion left
    // The descriptor held now is the new file's, not the replaced one's.
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));

    ::mkdir((dir / "1.$$$").c_str(), 0700);
    EXPECT_FALSE(save_text_document(copy.document.path, "lost", copy.hold, true));
    EXPECT_EQ(read_bytes(file), saved);
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));
}

// A viewer's copy is titled after its mail; it offers no 送信.
TEST_F(Notepad, AReadOnlyCopyRefusesEditsAndSaysSoInItsTitle) {
    const std::string before = "\xEF\xBB\xBF" "From: a@example.com\r\nSubject: 🎉 セール\r\n\r\n本文\r\n";
    write_bytes(dir / "qlm_0001.TXT", before);
    ::chmod((dir / "qlm_0001.TXT").c_str(), 0400);
    auto window = start_on("qlm_0001.TXT");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowHandle()->title(), ui("🎉 セール - 閲覧"));
    for (QAction* act : window->menuBar()->findChildren<QAction*>())
        EXPECT_FALSE(without_mnemonic(act->text()).startsWith(ui("送信"))) << act->text().toStdString();
    commit_text(window->editor(), "追記");
    EXPECT_FALSE(window->editor()->document()->isModified());
    EXPECT_FALSE(window->save());
    EXPECT_EQ(read_bytes(dir / "qlm_0001.TXT"), before);
}

// A line of megabytes is shown in pieces that Qt lays out quickly, read-only, so that saving never breaks it.
TEST_F(Notepad, AnEndlessLineIsShownInPiecesAndTheFileKeptAsItIs) {
    std::string line;
    while (line.size() < 3 * editable_line_limit) line += "日本語";
    write_bytes(dir / "long.txt", sj(line) + "\r\nend\r\n");
    auto window = start_on("long.txt");
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->windowHandle()->title().endsWith(ui("(読み取り専用)")));
    const QTextDocument* shown = window->editor()->document();
    for (QTextBlock block = shown->begin(); block.isValid(); block = block.next())
        EXPECT_LE(block.text().size(), static_cast<int>(shown_line_limit / 2));  // two bytes a character
    EXPECT_EQ(window->editor()->toPlainText().remove(QLatin1Char('\n')), ui(line + "end"));
    EXPECT_FALSE(window->save());
    EXPECT_EQ(read_bytes(dir / "long.txt"), sj(line) + "\r\nend\r\n");
}

// The store sees a draft as in use while it is open; it is saved as CP932 with CR LF, and sent from
// the editor: saved, let go, then handed on.
TEST_F(Notepad, ADraftIsSavedAsCp932WithCrLfAndSentFromTheEditor) {
    const std::string draft = dir / "草稿/.1/";
    write_message(draft, {sj("Subject: 会議の件\r\n"), sj("拝啓\r\n本文です。〜①\r\n")}, type_status('D'));
    opened file = open(sj(draft + "1"));
    ASSERT_EQ(file.outcome, document_opening::ok);
    names handed;
    notepad_window window(std::move(file.document), std::move(file.hold), QFont(), [&](const std::string& directory) {
        handed.push_back(directory);
        return !is_draft_in_use(directory);
    });
    window.show();
    EXPECT_TRUE(is_draft_in_use(sj(draft)));
    // 0x8160 shows as U+FF5E, the form of the system's converter.
    EXPECT_EQ(window.editor()->toPlainText(), ui("拝啓\n本文です。～①\n"));

    window.editor()->moveCursor(QTextCursor::End);
    commit_text(window.editor(), "追記〜①");
    QTest::keyClicks(window.editor(), "ok");
    EXPECT_EQ(window.windowHandle()->title(), ui("会議の件 - 下書き*"));
    QTest::keyClick(window.editor(), Qt::Key_Return);
    QTest::keyClick(window.editor(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(handed, names{sj(draft)});
    EXPECT_EQ(read_bytes(draft + "1"), sj("拝啓\r\n本文です。〜①\r\n") + "\x92\xc7\x8b\x4c\x81\x60\x87\x40ok\r\n");  // 追記〜①ok
    EXPECT_FALSE(window.isVisible());
}

// A character without a CP932 form is refused with the file untouched; text hidden after a Ctrl-Z
// is only dropped when the user says so, and asked about once.
TEST_F(Notepad, ASaveThatWouldLoseTextLeavesTheFileUntouchedUnlessTheUserAgrees) {
    const std::string hidden = std::string("shown\r\n\x1a") + "hidden";
    write_bytes(dir / "1", sj("本文\r\n"));
    write_bytes(dir / "old.txt", hidden);
    auto window = start_on("1");
    auto old = start_on("old.txt");
    ASSERT_TRUE(window && old);
    commit_text(window->editor(), "絵文字😀");
    commit_text(old->editor(), ">");
    modal_hand hand;
    hand.then_box();
    hand.then_box(false);
    EXPECT_FALSE(window->save());
    EXPECT_FALSE(old->save());
    EXPECT_NE(hand.boxes().at(0).find("😀"), std::string::npos) << hand.boxes().at(0);
    EXPECT_EQ(read_bytes(dir / "1"), sj("本文\r\n"));
    EXPECT_EQ(read_bytes(dir / "old.txt"), hidden);
    EXPECT_EQ(list_names(dir.path()), (names{"1", "old.txt"}));
    hand.then_box();
    EXPECT_TRUE(old->save());
    EXPECT_EQ(read_bytes(dir / "old.txt"), ">shown\r\n");
    EXPECT_TRUE(old->save());  // asked once only: nothing is hidden any more (no box is answered)
    EXPECT_EQ(hand.boxes().size(), 3u);
}

// Nothing changed, nothing is asked; else Cancel keeps the window, and the other answers close it.
TEST_F(Notepad, ClosingWithUnsavedChangesAsksFirst) {
    write_bytes(dir / "1", "one\r\n");
    modal_hand hand;
    EXPECT_TRUE(start_on("1")->close());
    for (auto [answer, closes, after] : {std::tuple{QMessageBox::RejectRole, false, "one\r\n"},
                                          {QMessageBox::DestructiveRole, true, "one\r\n"},
                                          {QMessageBox::AcceptRole, true, "保存one\r\n"}}) {
        auto window = start_on("1");
        commit_text(window->editor(), "保存");
        hand.then([answer](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == answer) button->click();
        });
        EXPECT_EQ(window->close(), closes) << answer;
        EXPECT_EQ(read_bytes(dir / "1"), sj(after)) << answer;
        EXPECT_EQ(is_file_open_elsewhere(dir.cp("1")), !closes) << answer;
        window->editor()->document()->setModified(false);
    }
    EXPECT_EQ(hand.boxes().size(), 3u);
}

TEST_F(Notepad, SearchGoesRoundToTheTopAndGoToLineStopsAtEitherEnd) {
    write_bytes(dir / "1", sj("一行目\r\n二行目 本文\r\n三行目 本文\r\n四行目"));
    auto window = start_on("1");
    ASSERT_TRUE(window);
    QPlainTextEdit* editor = window->editor();
    auto at = [editor] { return std::pair(editor->textCursor().blockNumber(), editor->textCursor().positionInBlock()); };
    for (int line : {1, 2, 1}) {
        EXPECT_TRUE(window->find_next(ui("本文")));
        EXPECT_EQ(at(), std::pair(line, 6));
    }
    window->go_to_line(99);
    EXPECT_EQ(at(), std::pair(3, 0));
    window->go_to_line(0);
    EXPECT_EQ(at(), std::pair(0, 0));
}

// --help and --version are answered without a window; after "--" a name like an option is the file.
TEST_F(Notepad, HelpAndVersionAreAnsweredAndAFileNamedLikeAnOptionFollowsTwoDashes) {
    std::string program = "quillmere-notepad", help = "--help", version = "--version", dashes = "--";
    char* asked_help[] = {program.data(), help.data()};
    char* asked_version[] = {program.data(), version.data()};
    char* file_named_help[] = {program.data(), dashes.data(), help.data()};
    testing::internal::CaptureStdout();
    EXPECT_EQ(answered_notepad_option(2, asked_help), 0);
    EXPECT_EQ(answered_notepad_option(2, asked_version), 0);
    EXPECT_FALSE(answered_notepad_option(3, file_named_help));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(printed.starts_with("Usage: quillmere-notepad [--] FILE\n")) << printed;
    EXPECT_TRUE(printed.ends_with("\nquillmere-notepad " QUILLMERE_VERSION "\n")) << printed;

    write_bytes(dir / "--help", sj("一行\r\n"));
    const std::filesystem::path started_in = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    auto window = open_notepad(3, file_named_help, QFont());
    std::filesystem::current_path(started_in);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->editor()->toPlainText(), ui("一行\n"));
}

// A name that CP932 cannot hold would open another file: it is refused.
TEST_F(Notepad, AFileNameWithoutACp932FormIsRefused) {
    modal_hand hand;
    hand.then_box();
    EXPECT_FALSE(start_on("名前😀.txt"));
    EXPECT_NE(hand.boxes().at(0).find("😀"), std::string::npos) << hand.boxes().at(0);
    EXPECT_EQ(list_names(dir.path()), names{});  // nothing created
}

}  // namespace
}  // namespace qm::test
