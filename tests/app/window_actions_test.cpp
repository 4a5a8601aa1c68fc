// The window's menus and toolbar follow the navigator's rules: what is on for
// the rows chosen, and why what is off cannot run.

#include <gtest/gtest.h>

#include <QAction>

#include "app/window_fixture.h"
#include "navigator/command_ids.h"

namespace qm::test {
namespace {

using WindowActions = window_test;

TEST_F(WindowActions, CommandsFollowTheChosenRowsAndThoseThatCannotRunSayWhy) {
    std::filesystem::create_directories(account_dir() + "旅行/");
    for (int n = 1; n <= 2; ++n) mail(" 受信箱/", n, "m" + std::to_string(n));
    layout.current = sj("標準/");
    open();
    // The account's root and its special folders have no rename; a plain folder has.
    EXPECT_FALSE(window->action(cmd::tree_rename)->isEnabled());
    list().set_focused_row(row_of(" 受信箱"));
    EXPECT_FALSE(window->action(cmd::rename)->isEnabled());
    EXPECT_FALSE(window->action(cmd::rename)->statusTip().isEmpty());
    list().set_focused_row(row_of("旅行"));
    EXPECT_TRUE(window->action(cmd::rename)->isEnabled());
    // Inside the inbox no folder is made, and both tips say why.
    list().set_focused_row(row_of(" 受信箱"));
    key(Qt::Key_Return);
    EXPECT_FALSE(window->action(cmd::new_folder)->isEnabled());
    const QString why = QString::fromUtf8("受信箱, 送信箱, 草稿, 送信控の中にはフォルダを作れません.");
    EXPECT_TRUE(window->action(cmd::new_folder)->statusTip().endsWith(why));
    EXPECT_TRUE(window->action(cmd::new_folder)->toolTip().endsWith("\n" + why));
    // Several mails enable only the commands that work on several.
    key(Qt::Key_Insert);
    EXPECT_EQ(list().selected_rows(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(window->action(cmd::to_trash)->isEnabled());
    EXPECT_FALSE(window->action(cmd::reply)->isEnabled());
}

}  // namespace
}  // namespace qm::test
