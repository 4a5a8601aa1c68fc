// The help window "説明" over the help text: the sections the dialogs ask
// for, one window at a time, and what it says when the text is not there.

#include <QDialog>
#include <QPlainTextEdit>
#include <algorithm>

#include "entry_dialog_test.h"
#include "ui/help_text.h"
#include "ui/help_window.h"

namespace qm::test {
namespace {

// The help windows on screen; closed ones are gone once their deletion ran.
std::vector<QWidget*> help_windows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->windowTitle() == ui("説明")) found.push_back(widget);
    return found;
}

// The text of the one help window shown.
QString shown_text() {
    const std::vector<QWidget*> windows = help_windows();
    if (windows.size() != 1) return QStringLiteral("<%1 windows>").arg(windows.size());
    return windows[0]->findChild<QPlainTextEdit*>()->toPlainText();
}

class HelpWindow : public data_directory_test {
protected:
    ~HelpWindow() override {
        for (QWidget* window : help_windows()) window->close();
        help_windows();
    }
};

TEST_F(HelpWindow, EveryDialogsSectionIsOneWholeChapterOfTheProgramsOwnText) {
    const std::string path = std::string(QUILLMERE_BINARY_DIR) + "/quillmere.txt";
    const std::string bytes = read_bytes(path);
    ASSERT_TRUE(bytes.ends_with("\r\n")) << path;
    std::vector<std::string> lines;  // as UTF-8, without their CR LF
    for (std::size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(u8(bytes.substr(start, end - start)));
    // The form of the program's text files: every line ends with CR LF, all of it CP932.
    EXPECT_EQ(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')), lines.size());
    EXPECT_EQ(sj(u8(bytes)), bytes);
    for (const auto& [section, heading] : {std::pair{view_options_help, "■ 表示オプション"},
                                           {function_options_help, "■ 機能オプション"}, {account_help, "■ アカウント"}}) {
        const auto first = static_cast<std::size_t>(section.first_line - 1);
        const auto end = first + static_cast<std::size_t>(section.line_count);
        ASSERT_LT(end, lines.size()) << heading;
        // Nothing of the next chapter is shown, and nothing of this one is left out.
        EXPECT_EQ(lines[first], heading);
        for (std::size_t line = first + 1; line < end; ++line) EXPECT_FALSE(lines[line].starts_with("■")) << line + 1;
        EXPECT_TRUE(lines[end].starts_with("■")) << heading;
        std::string expected;
        for (std::size_t line = first; line < end; ++line) expected += sj(lines[line]) + "\n";
        EXPECT_EQ(help_section_text(sj(path), section), expected);
    }
    // The window shows the whole section, however long: more than the 4095 characters of old.
    run_from(std::string(QUILLMERE_BINARY_DIR) + "/");
    QDialog owner;
    show_help(&owner, account_help);
    ASSERT_EQ(help_windows().size(), 1u);
    EXPECT_EQ(help_windows()[0]->findChild<QPlainTextEdit*>()->document()->blockCount(), account_help.line_count);
}

TEST_F(HelpWindow, ShowsItsSectionIsReplacedNeverDoubledAndGoesWithTheDialogThatAskedLast) {
    // Five lines, with a Ctrl-Z after them, where the text ends.
    write_bytes(dir / "prog/quillmere.txt", sj(crlf("一行目\n二行目\n三行目\n四行目\n五行目\n")) + "\x1a" + "六行目\r\n");
    run_from(dir / "prog/");
    QDialog owner;
    owner.show();
    show_help(&owner, {2, 2});
    EXPECT_EQ(shown_text(), ui("二行目\n三行目"));
    QWidget* window = help_windows().at(0);
    EXPECT_TRUE(window->findChild<QPlainTextEdit*>()->isReadOnly() && !window->isModal());
    show_help(&owner, {4, 5});  // the same window; a text that ends early gives what it has
    EXPECT_EQ(help_windows(), std::vector<QWidget*>{window});
    EXPECT_EQ(shown_text(), ui("四行目\n五行目"));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(help_windows().empty());
    show_help(&owner, {1, 1});
    press(help_windows().at(0)->findChild<QPushButton*>());  // 閉じる
    EXPECT_TRUE(help_windows().empty());

    // It moves to the dialog that asks last, and goes with it.
    QDialog first;
    first.show();
    show_help(&first, {1, 1});
    show_help(&owner, {3, 1});
    EXPECT_EQ(help_windows().at(0)->parentWidget(), &owner);
    owner.done(QDialog::Rejected);
    EXPECT_TRUE(help_windows().empty());
}

TEST_F(HelpWindow, FindsAnInstalledTextAndSaysWhereItLookedWhenThereIsNone) {
    write_bytes(dir / "usr/share/quillmere/quillmere.txt", sj(crlf("一行目\n")));
    run_from(dir / "usr/bin/");
    QDialog owner;
    show_help(&owner, {1, 1});
    EXPECT_EQ(shown_text(), ui("一行目"));
    remove_tree(dir / "usr/share");
    show_help(&owner, {1, 1});
    EXPECT_EQ(shown_text(), ui("説明ファイルが見つかりません. 次の場所を探しました:\n" + dir / "usr/bin/quillmere.txt\n" +
                               dir / "usr/share/quillmere/quillmere.txt"));
}

}  // namespace
}  // namespace qm::test
