// The help window "説明" over the help text: the sections the dialogs ask
// for, one window at a time, and what it says when the text is not there.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTest>
#include <memory>

#include "platform/program_context.h"
#include "support/test_support.h"
#include "ui/help_text.h"
#include "ui/help_window.h"

namespace qm::test {
namespace {

QString ui(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }

// The help windows on screen; closed ones are gone once their deletion ran.
std::vector<QWidget*> help_windows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == ui("説明")) found.push_back(widget);
    }
    return found;
}

QString shown_text(QWidget* window) { return window->findChild<QPlainTextEdit*>()->toPlainText(); }

// The lines of a CP932 text with CR LF, as UTF-8 without their line ends.
std::vector<std::string> file_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(u8(bytes.substr(start, end - start)));
    return lines;
}

TEST(HelpText, EveryDialogsSectionIsOneWholeChapterAtItsLines) {
    const std::string path = std::string(QUILLMERE_BINARY_DIR) + "/quillmere.txt";
    const std::string bytes = read_bytes(path);
    ASSERT_FALSE(bytes.empty()) << path;
    // The form of the program's text files: every line ends with CR LF, all of it CP932.
    std::size_t bare = 0;
    for (std::size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; ++at) bare += at == 0 || bytes[at - 1] != '\r';
    EXPECT_EQ(bare, 0u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(sj(u8(bytes)), bytes);
    const std::vector<std::string> lines = file_lines(bytes);

    const struct {
        help_section section;
        const char* heading;
    } sections[] = {{view_options_help, "■ 表示オプション"},
                    {function_options_help, "■ 機能オプション"},
                    {account_help, "■ アカウント"}};
    for (const auto& [section, heading] : sections) {
        SCOPED_TRACE(heading);
        const auto first = static_cast<std::size_t>(section.first_line - 1);
        const auto end = first + static_cast<std::size_t>(section.line_count);
        ASSERT_LT(end, lines.size());
        EXPECT_EQ(lines[first], heading);
        // Nothing of the next chapter is shown, and nothing of this one is left out.
        for (std::size_t line = first + 1; line < end; ++line) EXPECT_NE(lines[line].rfind("■", 0), 0u) << line + 1;
        EXPECT_EQ(lines[end].rfind("■", 0), 0u) << "line " << end + 1 << ": " << lines[end];
        EXPECT_EQ(lines[end - 1], "");

        std::string expected;
        for (std::size_t line = first; line < end; ++line) expected += sj(lines[line]) + "\n";
        EXPECT_EQ(help_section_text(sj(path), section), expected);
    }
}

class HelpWindow : public ::testing::Test {
protected:
    HelpWindow() : saved_(context()) {}
    ~HelpWindow() override {
        for (QWidget* window : help_windows()) window->close();
        help_windows();
        set_context(saved_);
    }
    // The program runs from `directory` (UTF-8, ending with "/").
    void run_from(const std::string& directory) {
        program_context moved = saved_;
        moved.executable_directory = sj(directory);
        set_context(moved);
    }
    // A help text of five lines (with a Ctrl-Z after them, where the text ends).
    static void write_help(const std::string& path) {
        write_bytes(path, sj(crlf("一行目\n二行目\n三行目\n四行目\n五行目\n")) + "\x1a" + "六行目\r\n");
    }

    temp_dir dir;

private:
    program_context saved_;
};

TEST_F(HelpWindow, ShowsItsSectionIsReplacedNeverDoubledAndGoesWithTheDialogThatAskedLast) {
    write_help(dir / "prog/quillmere.txt");
    run_from(dir / "prog/");
    QDialog owner;
    owner.show();

    show_help(&owner, {2, 2});
    std::vector<QWidget*> windows = help_windows();
    ASSERT_EQ(windows.size(), 1u);
    QWidget* window = windows.front();
    EXPECT_EQ(shown_text(window), ui("二行目\n三行目"));
    EXPECT_TRUE(window->findChild<QPlainTextEdit*>()->isReadOnly());
    EXPECT_EQ(window->windowModality(), Qt::NonModal);
    EXPECT_EQ(window->parentWidget(), &owner);

    // Asked again: the same window, the new section; a text that ends early (at the Ctrl-Z) gives what it has.
    show_help(&owner, {4, 5});
    EXPECT_EQ(help_windows(), std::vector<QWidget*>{window});
    EXPECT_EQ(shown_text(window), ui("四行目\n五行目"));

    // Esc closes it, and so does "閉じる".
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(help_windows().empty());
    show_help(&owner, {1, 1});
    windows = help_windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(shown_text(windows.front()), ui("一行目"));
    QPushButton* close = windows.front()->findChild<QPushButton*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), ui("閉じる"));
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_TRUE(help_windows().empty());

    // It moves to the dialog that asks last, and goes with it.
    auto first = std::make_unique<QDialog>();
    first->show();
    show_help(first.get(), {1, 1});
    show_help(&owner, {3, 1});
    windows = help_windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows.front()->parentWidget(), &owner);
    EXPECT_EQ(shown_text(windows.front()), ui("三行目"));
    first.reset();
    EXPECT_EQ(help_windows(), windows);
    owner.done(QDialog::Rejected);
    EXPECT_TRUE(help_windows().empty());
}

TEST_F(HelpWindow, FindsAnInstalledTextAndSaysWhereItLookedWhenThereIsNone) {
    write_help(dir / "usr/share/quillmere/quillmere.txt");
    run_from(dir / "usr/bin/");
    QDialog owner;
    show_help(&owner, {5, 1});
    ASSERT_EQ(help_windows().size(), 1u);
    EXPECT_EQ(shown_text(help_windows().front()), ui("五行目"));

    remove_tree(dir / "usr/share");
    show_help(&owner, {5, 1});
    ASSERT_EQ(help_windows().size(), 1u);
    EXPECT_EQ(shown_text(help_windows().front()),
              ui("説明ファイルが見つかりません. 次の場所を探しました:\n" + dir / "usr/bin/quillmere.txt\n" +
                 dir / "usr/share/quillmere/quillmere.txt"));
}

TEST_F(HelpWindow, TheAccountDialogsSectionOfTheProgramsOwnText) {
    run_from(std::string(QUILLMERE_BINARY_DIR) + "/");
    QDialog owner;
    show_help(&owner, account_help);
    ASSERT_EQ(help_windows().size(), 1u);
    // The whole section, however long: more than the 4095 characters of old.
    const QPlainTextEdit* text = help_windows().front()->findChild<QPlainTextEdit*>();
    EXPECT_EQ(text->document()->blockCount(), account_help.line_count);
    EXPECT_TRUE(text->toPlainText().contains(ui("◆ 送受信がうまくいかないとき")));
}

}  // namespace
}  // namespace qm::test
