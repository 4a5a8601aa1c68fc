// The help: the window "説明" over the help text (the sections the dialogs ask for, one window at a
// time, and what it says when the text is not there), and quillmere.htm handed to xdg-open, found
// beside the program or where an installed copy keeps it.

#include <QDialog>
#include <QPlainTextEdit>
#include <cstdlib>

#include "entry_dialog_test.h"
#include "ui/help_window.h"
#include "ui/manual.h"

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

using HelpWindow = data_directory_test;
using Manual = data_directory_test;

TEST_F(HelpWindow, ShowsItsSectionInOneWindowThatGoesWithTheDialogThatAskedLastAndSaysWhereItLooked) {
    // Five lines, with a Ctrl-Z after them, where the text ends: a section past it gives what there is.
    write_bytes(dir / "prog/quillmere.txt", sj(crlf("一行目\n二行目\n三行目\n四行目\n五行目\n")) + "\x1a" + "六行目\r\n");
    run_from(dir / "prog/");
    QDialog first, owner;
    first.show();
    owner.show();
    show_help(&first, {1, 1});
    show_help(&owner, {4, 5});
    EXPECT_EQ(shown_text(), ui("四行目\n五行目"));
    owner.done(QDialog::Rejected);
    EXPECT_TRUE(help_windows().empty());

    // Without the text, it says where it looked (the places themselves the manual's test holds).
    remove_tree(dir / "prog");
    show_help(&first, {1, 1});
    EXPECT_TRUE(shown_text().startsWith(ui("説明ファイルが見つかりません. 次の場所を探しました:\n" + dir / "prog/quillmere.txt\n")));
}

TEST_F(Manual, HandsItsAbsolutePathToXdgOpenAndSaysWhereItLooked) {
    recording_program opener{dir / "path/xdg-open", dir / "log"};
    scoped_env search{"PATH", (dir / "path:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")).c_str()};
    write_bytes(dir / "説明書 置き場/quillmere.htm", "<html></html>");
    run_from(dir / "説明書 置き場/");
    EXPECT_TRUE(open_manual(report));
    // An installed copy: the program in bin/, the manual in share/quillmere/.
    run_from(dir / "usr/bin/");
    EXPECT_FALSE(open_manual(report));
    write_bytes(dir / "usr/share/quillmere/quillmere.htm", "<html></html>");
    EXPECT_TRUE(open_manual(report));
    EXPECT_EQ(opener.wait_for_runs(2), (std::vector<names>{{dir / "usr/share/quillmere/quillmere.htm"},
                                                           {dir / "説明書 置き場/quillmere.htm"}}));
    EXPECT_EQ(report.texts(), names{"HTML版マニュアルが見つかりません. 次の場所を探しました:\n" + dir / "usr/bin/quillmere.htm\n" +
                                    dir / "usr/share/quillmere/quillmere.htm"});
}

}  // namespace
}  // namespace qm::test
