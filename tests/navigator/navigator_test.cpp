// Where the window stands and every move from there, as tables over a
// mailbox that exists only as a set of folders.

#include <set>

#include "navigator/command_ids.h"
#include "navigator/command_table.h"
#include "navigator/folder_marks.h"
#include "navigator/navigator.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

const std::string box = "/m/";

class Navigator : public ::testing::Test {
protected:
    // The folders that are there, relative to the mailbox.
    std::set<std::string> folders = {"A/", "A/ 受信箱/", "A/work/", "A/work/deep/", "B/", "B/ 受信箱/", "C/"};
    folder_probe exists = [this](const std::string& folder) { return folders.contains(folder.substr(box.size())); };

    navigator at(const std::string& current) {
        Layout layout;
        layout.current = current;
        return start_navigator(box, {"A", "B", "C"}, layout, exists);
    }
};

const auto folder = folder_row;

mail_row mail(int number) {
    mail_row row;
    row.number = number;
    row.text[column_number] = std::to_string(number);
    return row;
}

// The folder of the last run is shown again when it is there; else the nearest folder on its path, or the
// first account's root when its account went; with no account nothing is shown.
TEST_F(Navigator, TheStartShowsTheKeptFolderOrTheNearestThatIsLeft) {
    const std::pair<std::string, std::string> cases[] = {
        {"A/work/deep/", "A/work/deep/"}, {"A/work/gone/", "A/work/"}, {"Z/x/", "A/"}, {"", "A/"}, {"B/ 受信箱/", "B/ 受信箱/"},
    };
    for (const auto& [kept, shown] : cases) {
        navigator nav = at(kept);
        EXPECT_EQ(nav.relative_folder(), shown) << kept;
        EXPECT_EQ(nav.account_root(), box + shown.substr(0, shown.find('/') + 1)) << kept;
    }
    navigator none = start_navigator(box, {}, Layout{}, exists);
    EXPECT_FALSE(none.has_account() || go_to_parent(none) || drop_target(none, nullptr));
}

// Each account shows the folder last shown in it; Enter and Backspace move in and out, the row left taking
// the focus; the root has no parent.
TEST_F(Navigator, AccountsFoldersAndTheirWayBack) {
    navigator nav = at("A/work/deep/");
    ASSERT_TRUE(select_account(nav, 1, exists));
    EXPECT_EQ(nav.relative_folder(), "B/");
    EXPECT_TRUE(enter_row(nav, folder(" 受信箱")));
    ASSERT_TRUE(select_account(nav, "A", exists));
    EXPECT_EQ(nav.relative_folder(), "A/work/deep/");
    folders.erase("A/work/deep/");
    ASSERT_TRUE(select_account(nav, "B", exists));
    EXPECT_EQ(nav.relative_folder(), "B/ 受信箱/");
    ASSERT_TRUE(select_account(nav, 0, exists));
    EXPECT_EQ(nav.relative_folder(), "A/work/");  // the last folder went: the nearest that is left
    EXPECT_FALSE(select_account(nav, 3, exists) || select_account(nav, -1, exists) || select_account(nav, "Z", exists));
    EXPECT_EQ(enter_row(nav, mail(3)), std::nullopt);
    EXPECT_EQ(enter_row(nav, folder("..")), "work");
    EXPECT_EQ(nav.relative_folder(), "A/");
    EXPECT_EQ(go_to_parent(nav), std::nullopt);
    EXPECT_EQ(enter_row(nav, folder("work")), "");
    EXPECT_EQ(nav.relative_folder(), "A/work/");
    EXPECT_FALSE(show_folder(nav, box + "B/"));  // not in the account shown
    // (Accounts that come and go are met through the window's selector.)
    reload_accounts(nav, box, {"C", "A"}, exists);
    EXPECT_TRUE(nav.relative_folder() == "A/work/" && nav.account == 1);
}

// Marking a folder also makes it the previous position; going to a mark twice comes back to where the
// first jump started; a gone folder gives the nearest that is left; an empty mark, one out of range and one
// whose account went do nothing.
TEST_F(Navigator, MarksGoAndComeBack) {
    navigator nav = at("A/work/deep/");
    for (int mark : {2, 12, -1}) set_mark(nav, mark);
    EXPECT_EQ(nav.marks[2] + " " + nav.previous, "A/work/deep/ A/work/deep/");
    ASSERT_TRUE(select_account(nav, "B", exists));
    EXPECT_TRUE(go_to_mark(nav, 2, exists));
    EXPECT_EQ(nav.relative_folder() + " " + nav.previous, "A/work/deep/ B/");
    EXPECT_TRUE(go_to_mark(nav, 2, exists));
    EXPECT_EQ(nav.relative_folder(), "B/");
    nav.marks[4] = "A/work/gone/deeper/";
    EXPECT_TRUE(go_to_mark(nav, 4, exists));
    EXPECT_EQ(nav.relative_folder(), "A/work/");
    EXPECT_EQ(nav.marks[4], "A/work/gone/deeper/");  // the mark stays: the folder may come back
    for (const char* mark : {"A/work/.3/", "A/../B/", "A//work/", "A"}) {
        nav.marks[5] = mark;
        ASSERT_TRUE(go_to_mark(nav, 5, exists)) << mark;
        EXPECT_EQ(nav.relative_folder(), std::string(mark) == "A/work/.3/" ? "A/work/" : "A/") << mark;
    }
    const navigator before = nav;
    nav.marks[6] = "Z/";
    for (int mark : {0, 6, 12, -1}) EXPECT_FALSE(go_to_mark(nav, mark, exists)) << mark;
    EXPECT_EQ(nav.folder + nav.previous, before.folder + before.previous);
}

TEST_F(Navigator, ARenamedAccountTakesTheFolderShownTheMarksAndThePreviousPositionAlong) {
    navigator nav = at("A/work/");
    nav.marks = {"A/work/deep/", "AB/", "B/A/", "A/", "a/", "", "C/", "A"};
    nav.previous = "A/";
    ASSERT_TRUE(select_account(nav, "B", exists));
    ASSERT_TRUE(select_account(nav, "A", exists));
    account_renamed(nav, "A", sj("仕事"));
    EXPECT_EQ(u8(nav.relative_folder() + " " + nav.account_title()), "仕事/work/ 仕事");
    std::vector<std::string> marks;
    for (const std::string& m : nav.marks) marks.push_back(u8(m));
    // Only paths whose first component is the old title, exactly, follow it.
    EXPECT_EQ(marks, (names{"仕事/work/deep/", "AB/", "B/A/", "仕事/", "a/", "", "C/", "仕事", "", "", "", ""}));
    EXPECT_EQ(u8(nav.previous + " " + nav.last_folders[0]), "仕事/ 仕事/work/");
}

// Rows dropped on a folder row go into it, on ".." into the parent, on the empty space into the folder
// shown; a mail row takes nothing. After a refill the row of the same name or number keeps the focus.
TEST_F(Navigator, DropTargetsAndTheFocusAfterARefill) {
    navigator nav = at("A/work/");
    const mail_row parent = folder(".."), deep = folder("deep"), three = mail(3);
    EXPECT_EQ(drop_target(nav, &deep), box + "A/work/deep/");
    EXPECT_EQ(drop_target(nav, &parent), box + "A/");
    EXPECT_EQ(drop_target(nav, nullptr), box + "A/work/");
    EXPECT_EQ(drop_target(nav, &three), std::nullopt);
    go_to_root(nav);
    EXPECT_EQ(drop_target(nav, &parent), std::nullopt);
    const std::vector<mail_row> rows = {parent, deep, three, mail(10)};
    EXPECT_EQ(std::vector<int>({focus_after_refill(rows, "10"), focus_after_refill(rows, "deep"),
                                focus_after_refill(rows, "gone"), focus_after_refill({}, "deep")}),
              (std::vector<int>{3, 1, 0, -1}));
}

// Every number of the command table decodes to its command.
TEST(CommandTable, NumbersAndKeyLetters) {
    const std::tuple<int, int, int> cases[] = {
        {223, cmd::mark_folder_first, 0}, {234, cmd::mark_folder_first, 11}, {235, cmd::go_to_mark_first, 0},
        {246, cmd::go_to_mark_first, 11}, {259, cmd::sort_first, 0},          {264, cmd::sort_first, 5},
        {300, cmd::address_book_new, -1}, {301, cmd::address_book_new, 0},    {599, cmd::account_new, 98},
        {700, cmd::template_new, -1},     {216, cmd::send_receive, -1},       {267, cmd::send, -1},
    };
    for (const auto& [id, command, index] : cases)
        EXPECT_EQ(std::pair(decode_command(id).command, decode_command(id).index), std::pair(command, index)) << id;
    EXPECT_EQ(mark_menu_label(0, "A/&x/"), " 1 A/&&x/");
    EXPECT_EQ(account_index_of("B/ 受信箱/", {"A", "B"}), 1);
    EXPECT_EQ(account_index_of("Bx/", {"A", "B"}), -1);
}

}  // namespace
}  // namespace qm::test
