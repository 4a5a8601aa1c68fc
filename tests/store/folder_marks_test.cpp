#include <filesystem>

#include "store/folder_marks.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class FolderMarks : public ::testing::Test {
protected:
    FolderMarks() {
        for (const char* folder : {"A/ 受信箱", "A/work/deep", "B/ 受信箱", "標準アカウント/ 受信箱"})
            fs::create_directories(dir / ("mailbox/" + std::string(folder)));
        write_bytes(dir / "mailbox/A/work/.3/0", "Subject: a message, no folder\r\n");
    }
    std::optional<std::string> go(int mark, std::string_view utf8_current) {
        return go_to_mark(layout, mark, sj(utf8_current), mailbox);
    }
    std::string previous() const { return u8(layout.previous); }

    temp_dir dir;
    const std::string mailbox = dir.cp("mailbox/");
    Layout layout;
};

TEST_F(FolderMarks, MarkingKeepsTheLastFolderAndGoingTwiceReturnsToWhereTheFirstJumpStarted) {
    mark_current_folder(layout, 2, "A/work/");
    mark_current_folder(layout, 2, "A/work/deep/");
    mark_current_folder(layout, 12, "A/");  // no such mark
    mark_current_folder(layout, -1, "A/");
    EXPECT_EQ(layout.marks[2], "A/work/deep/");
    EXPECT_EQ(previous(), "A/work/deep/");
    for (int other : {0, 1, 3, 11}) EXPECT_EQ(layout.marks[other], "") << other;
    layout.previous = "A/";
    EXPECT_EQ(go(2, "B/ 受信箱/"), "A/work/deep/");
    EXPECT_EQ(previous(), "B/ 受信箱/");
    EXPECT_EQ(go(2, "A/work/deep/"), sj("B/ 受信箱/"));
    EXPECT_EQ(previous(), "B/ 受信箱/");
    EXPECT_EQ(go(2, "B/ 受信箱/"), "A/work/deep/");
    // Marking a folder and going to that mark at once stays there.
    mark_current_folder(layout, 5, sj("標準アカウント/ 受信箱/"));
    EXPECT_EQ(go(5, "標準アカウント/ 受信箱/"), sj("標準アカウント/ 受信箱/"));
}

TEST_F(FolderMarks, EmptyMarksAndMarksOfDeletedAccountsDoNothing) {
    layout.previous = "A/";
    EXPECT_EQ(go(0, "B/"), std::nullopt);
    EXPECT_EQ(go(12, "B/"), std::nullopt);
    EXPECT_EQ(go(-1, "B/"), std::nullopt);
    layout.marks[0] = "C/work/";
    EXPECT_EQ(go(0, "B/"), std::nullopt);
    layout.marks[1] = ".hidden/";  // no account is hidden
    fs::create_directories(dir / "mailbox/.hidden");
    EXPECT_EQ(go(1, "B/"), std::nullopt);
    EXPECT_EQ(previous(), "A/");
    EXPECT_EQ(layout.marks[0], "C/work/");
    // Returning to a previous position whose account went does nothing either.
    layout.marks[3] = "B/";
    layout.previous = "C/";
    EXPECT_EQ(go(3, "B/"), std::nullopt);
    fs::remove_all(dir / "mailbox/B");
    layout.previous = "A/";
    EXPECT_EQ(go(3, "A/work/"), std::nullopt);
    EXPECT_EQ(previous(), "A/");
}

TEST_F(FolderMarks, AGoneFolderShowsTheNearestFolderThatIsLeft) {
    layout.marks[4] = "A/work/gone/deeper/";
    EXPECT_EQ(go(4, "B/"), "A/work/");
    EXPECT_EQ(previous(), "B/");
    EXPECT_EQ(layout.marks[4], "A/work/gone/deeper/");  // the mark stays: the folder may come back
    layout.marks[4] = "A/gone/";
    EXPECT_EQ(go(4, "B/"), "A/");
    // A message directory, ".." or an empty name never lead anywhere.
    for (const char* mark : {"A/work/.3/", "A/../B/", "A//work/", "A/work/./deep/", "A"}) {
        layout.marks[4] = mark;
        EXPECT_EQ(go(4, "B/"), mark == std::string("A/work/.3/") || mark == std::string("A/work/./deep/") ? "A/work/" : "A/")
            << mark;
    }
}

TEST_F(FolderMarks, ARenamedAccountTakesItsMarksThePreviousPositionAndTheFolderShownAlong) {
    layout.current = sj("A/ 受信箱/");
    layout.marks = {"A/work/deep/", "AB/", "B/A/", "A/", "a/", "", sj("標準アカウント/ 受信箱/"), "A"};
    layout.previous = "A/work/";
    rename_account_in_layout(layout, "A", sj("仕事"));
    EXPECT_EQ(u8(layout.current), "仕事/ 受信箱/");
    std::vector<std::string> marks;
    for (const std::string& mark : layout.marks) marks.push_back(u8(mark));
    // Only paths whose first component is the old title, exactly, follow it.
    EXPECT_EQ(marks, (names{"仕事/work/deep/", "AB/", "B/A/", "仕事/", "a/", "", "標準アカウント/ 受信箱/", "仕事", "",
                            "", "", ""}));
    EXPECT_EQ(previous(), "仕事/work/");

    const Layout before = layout;
    rename_account_in_layout(layout, "B", "B");  // the same title: nothing moves
    rename_account_in_layout(layout, "", "X");   // no title: nothing moves
    EXPECT_EQ(layout.marks, before.marks);
    EXPECT_EQ(layout.current + "|" + layout.previous, before.current + "|" + before.previous);
}

TEST(FolderMarkNames, AccountIndexByTheFirstComponentAndMenuLabels) {
    const std::vector<std::string> accounts = {"A", "B", sj("標準アカウント")};
    // Names are file names: case counts.
    for (auto [path, index] : {std::pair<std::string, int>{"A/work/", 0}, {"B", 1}, {sj("標準アカウント/ 受信箱/"), 2},
                               {"a/", -1}, {"AB/", -1}, {"", -1}, {"/A/", -1}})
        EXPECT_EQ(account_index_of(path, accounts), index) << path;
    EXPECT_EQ(mark_menu_label(0, ""), " 1");
    EXPECT_EQ(mark_menu_label(11, "A/R&D/"), "12 A/R&&D/");
}

}  // namespace
}  // namespace qm::test
