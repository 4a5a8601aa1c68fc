// The notepad's window on the offscreen platform: real files, real widgets,
// and the message boxes answered as a user would.

#include "notepad/notepad_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QWindow>

#include <sys/stat.h>

#include "app/modal_hand.h"
#include "notepad/notepad_main.h"
#include "store/draft_in_use.h"
#include "support/test_support.h"
#include "ui/qt_text.h"
#include "ui/view_style.h"

namespace qm::test {
namespace {

QString q8(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

// Clicks the message box's button whose label begins with `label`.
modal_hand::answer press(const QString& label) {
    return [label](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr) << dialog->windowTitle().toStdString();
        for (QAbstractButton* button : box->buttons())
            if (without_mnemonic(button->text()).startsWith(label)) return button->click();
        ADD_FAILURE() << "no button " << label.toStdString();
        box->reject();
    };
}

// Enters `text` in the input dialog and OK.
modal_hand::answer enter(const QString& text) {
    return [text](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        ASSERT_NE(input, nullptr);
        if (input->inputMode() == QInputDialog::IntInput) input->setIntValue(text.toInt());
        else input->setTextValue(text);
        input->accept();
    };
}

// Text as a Japanese input method commits it.
void commit_text(QPlainTextEdit* editor, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(editor, &event);
}

QAction* menu_action(QMainWindow& window, const QString& label) {
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* act : menu->menu()->actions())
            if (without_mnemonic(act->text()).startsWith(label)) return act;
    return nullptr;
}

// The status bar's place of the cursor ("行 1、列 1").
QString shown_position(QMainWindow& window) {
    for (QLabel* label : window.statusBar()->findChildren<QLabel*>())
        if (label->text().startsWith(QString::fromUtf8("行 "))) return label->text();
    return {};
}

// What the window manager and screen readers are told the window is called.
QString shown_title(QWidget& window) { return window.windowHandle()->title(); }

class Notepad : public ::testing::Test {
protected:
    // The window the program opens for `arguments` after its own name.
    std::unique_ptr<notepad_window> start(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "quillmere-notepad");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        auto window = open_notepad(static_cast<int>(argv.size()), argv.data(), user_font());
        if (window) window->show();
        return window;
    }
    std::unique_ptr<notepad_window> start_on(const std::string& utf8_name) { return start({dir / utf8_name}); }
    static QFont user_font() {
        Settings s;
        s.font_name = sj("ＭＳ ゴシック");
        return view_font(s);
    }

    temp_dir dir;
};

// A viewer's copy is titled after its mail, or its file where it has no header; it offers no 送信.
TEST_F(Notepad, AReadOnlyCopyRefusesEditsAndSaysSoInItsTitle) {
    write_bytes(dir / "qlm_0001.TXT", "\xEF\xBB\xBF" "From: a@example.com\r\nSubject: 🎉 セール\r\n\r\n本文\r\n");
    const std::string before = sj("件名: テスト\r\n\r\n本文\r\n");
    write_bytes(dir / "qlm_0000.TXT", before);
    for (const char* name : {"qlm_0000.TXT", "qlm_0001.TXT"}) ::chmod((dir / name).c_str(), 0400);
    EXPECT_EQ(shown_title(*start_on("qlm_0001.TXT")), q8("🎉 セール - 閲覧"));
    auto window = start_on("qlm_0000.TXT");
    ASSERT_TRUE(window);
    EXPECT_EQ(shown_title(*window), q8("qlm_0000.TXT (読み取り専用)"));
    EXPECT_EQ(menu_action(*window, q8("送信")), nullptr);
    QPlainTextEdit* editor = window->editor();
    QTest::keyClicks(editor, "abc");
    QTest::keyClick(editor, Qt::Key_Return);
    commit_text(editor, q8("追記"));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor->toPlainText(), q8("件名: テスト\n\n本文\n"));
    EXPECT_FALSE(editor->document()->isModified());
    EXPECT_FALSE(menu_action(*window, q8("保存"))->isEnabled());
    EXPECT_FALSE(window->save());
    EXPECT_EQ(read_bytes(dir / "qlm_0000.TXT"), before);
    EXPECT_TRUE(window->close());
}

// The store sees a draft as in use while it is open; it is shown in the user's font, saved
// as CP932 with CR LF, and sent from the editor: saved, let go, then handed on.
TEST_F(Notepad, ADraftIsSavedAsCp932WithCrLfAndSentFromTheEditor) {
    const std::string draft = dir / "草稿/.1/";
    write_bytes(draft + "0", sj("Subject: 会議の件\r\n"));
    write_bytes(draft + "1", sj("拝啓\r\n本文です。〜①\r\n"));
    write_bytes(draft + "status.ini", "[mail status]\r\ntype=D\r\n");
    text_document document;
    held_file hold;
    ASSERT_EQ(open_text_document(sj(draft + "1"), document, hold), document_opening::ok);
    names handed;
    notepad_window window(std::move(document), std::move(hold), user_font(), [&](const std::string& directory) {
        handed.push_back(directory);
        return !is_draft_in_use(directory);
    });
    window.show();
    EXPECT_TRUE(is_draft_in_use(sj(draft)));
    // 0x8160 shows as U+FF5E, the form of the system's converter.
    EXPECT_EQ(window.editor()->toPlainText(), q8("拝啓\n本文です。～①\n"));
    EXPECT_EQ(shown_title(window), q8("会議の件 - 下書き"));
    // The Windows face of the settings is not installed: the Japanese face shows the kanji instead.
    EXPECT_EQ(window.editor()->font().family(), user_font().family());
    EXPECT_NE(user_font().family(), q8("ＭＳ ゴシック"));

    window.editor()->moveCursor(QTextCursor::End);
    commit_text(window.editor(), q8("追記〜①"));
    QTest::keyClicks(window.editor(), "ok");
    EXPECT_EQ(shown_title(window), q8("会議の件 - 下書き*"));
    menu_action(window, q8("保存"))->trigger();
    EXPECT_EQ(read_bytes(draft + "1"), sj("拝啓\r\n本文です。〜①\r\n追記〜①ok"));
    EXPECT_TRUE(read_bytes(draft + "1").ends_with("\x81\x60\x87\x40ok"));  // 〜 and ① as CP932 spells them
    EXPECT_EQ(shown_title(window), q8("会議の件 - 下書き"));
    QTest::keyClick(window.editor(), Qt::Key_Return);
    QTest::keyClick(window.editor(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(handed, names{sj(draft)});
    EXPECT_EQ(read_bytes(draft + "1"), sj("拝啓\r\n本文です。〜①\r\n追記〜①ok\r\n"));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(Notepad, ACharacterWithoutACp932FormIsRefusedAndTheFileUntouched) {
    write_bytes(dir / "1", sj("本文\r\n"));
    auto window = start_on("1");
    ASSERT_TRUE(window);
    commit_text(window->editor(), q8("絵文字😀"));
    EXPECT_EQ(shown_position(*window), q8("行 1、列 5"));  // the emoji is one character
    modal_hand hand;
    hand.then(press("OK"));
    EXPECT_FALSE(window->save());
    ASSERT_EQ(hand.boxes().size(), 1u);
    EXPECT_NE(hand.boxes()[0].find("😀"), std::string::npos) << hand.boxes()[0];
    EXPECT_EQ(read_bytes(dir / "1"), sj("本文\r\n"));
    EXPECT_TRUE(window->editor()->document()->isModified());
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));
    EXPECT_EQ(list_names(dir.path()), names{"1"});
}

// Nothing changed, nothing is asked; else Cancel keeps the window, and the other answers close it.
TEST_F(Notepad, ClosingWithUnsavedChangesAsksFirst) {
    write_bytes(dir / "1", "one\r\n");
    modal_hand hand;
    EXPECT_TRUE(start_on("1")->close());
    for (auto [answer, closes, after] : {std::tuple{"キャンセル", false, "one\r\n"}, {"保存しない", true, "one\r\n"},
                                          {"保存する", true, "保存one\r\n"}}) {
        auto window = start_on("1");
        commit_text(window->editor(), q8("保存"));
        hand.then(press(q8(answer)));
        EXPECT_EQ(window->close(), closes) << answer;
        EXPECT_EQ(read_bytes(dir / "1"), sj(after)) << answer;
        EXPECT_EQ(is_file_open_elsewhere(dir.cp("1")), !closes) << answer;
        window->editor()->document()->setModified(false);
    }
    ASSERT_EQ(hand.boxes().size(), 3u);
    EXPECT_TRUE(hand.boxes()[0].find("変更を保存しますか") != std::string::npos && hand.boxes()[0].ends_with("\n1"));
}

// Through the menus and their dialogs: a search goes round to the top, a line
// number past either end stops at it, and text not found is said.
TEST_F(Notepad, SearchAndGoToLineMoveTheCursor) {
    write_bytes(dir / "1", sj("一行目\r\n二行目 本文\r\n三行目 本文\r\n四行目"));
    auto window = start_on("1");
    ASSERT_TRUE(window);
    QPlainTextEdit* editor = window->editor();
    auto at = [editor] { return std::pair(editor->textCursor().blockNumber(), editor->textCursor().positionInBlock()); };
    modal_hand hand;
    hand.then(enter(q8("本文")));
    menu_action(*window, q8("検索(F)"))->trigger();
    EXPECT_EQ(at(), std::pair(1, 6));
    EXPECT_EQ(editor->textCursor().selectedText(), q8("本文"));
    menu_action(*window, q8("次を検索"))->trigger();
    EXPECT_EQ(at(), std::pair(2, 6));
    menu_action(*window, q8("次を検索"))->trigger();
    EXPECT_EQ(at(), std::pair(1, 6));
    for (auto [line, expected] : {std::pair{"4", std::pair(3, 0)}, {"99", std::pair(3, 0)}, {"0", std::pair(0, 0)}}) {
        hand.then(enter(line));
        menu_action(*window, q8("行へ移動"))->trigger();
        EXPECT_EQ(at(), expected) << line;
    }
    EXPECT_EQ(shown_position(*window), q8("行 1、列 1"));
    hand.then(enter(q8("五行目")));
    hand.then(press("OK"));
    menu_action(*window, q8("検索(F)"))->trigger();
    EXPECT_TRUE(hand.done());
    ASSERT_EQ(hand.boxes().size(), 1u);
    EXPECT_NE(hand.boxes()[0].find("五行目"), std::string::npos) << hand.boxes()[0];
    EXPECT_EQ(at(), std::pair(0, 0));
}

TEST_F(Notepad, TheCommandLineNamesOneFileThatCanBeRead) {
    ::mkdir((dir / "folder").c_str(), 0700);
    for (auto [arguments, expected] :
         {std::pair{std::vector<std::string>{}, "開くファイルが指定されていません"},
          {{dir / "a", dir / "b"}, "開くファイルが指定されていません"},
          {{dir / "無い.txt"}, "次のファイルが見つかりません:\n"},
          {{dir / "folder"}, "次のファイルを読み込めません:\n"},
          {{dir / "名前😀.txt"}, "😀"}}) {
        modal_hand hand;
        hand.then(press("OK"));
        EXPECT_FALSE(start(arguments));
        ASSERT_EQ(hand.boxes().size(), 1u);
        EXPECT_NE(hand.boxes()[0].find(expected), std::string::npos) << hand.boxes()[0];
    }
    EXPECT_EQ(list_names(dir.path()), names{"folder"});  // nothing created
}

TEST_F(Notepad, TextHiddenAfterACtrlZIsOnlyDroppedWhenTheUserSaysSo) {
    const std::string before = std::string("shown\r\n\x1a") + "hidden";
    write_bytes(dir / "old.txt", before);
    auto window = start_on("old.txt");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->editor()->toPlainText(), "shown\n");
    commit_text(window->editor(), ">");
    modal_hand hand;
    hand.then(press("Cancel"));
    EXPECT_FALSE(window->save());
    EXPECT_EQ(read_bytes(dir / "old.txt"), before);
    hand.then(press("OK"));
    EXPECT_TRUE(window->save());
    EXPECT_EQ(read_bytes(dir / "old.txt"), ">shown\r\n");
    EXPECT_TRUE(window->save());  // asked once only: nothing is hidden any more (no box is answered)
    EXPECT_EQ(hand.boxes().size(), 2u);
}

}  // namespace
}  // namespace qm::test
