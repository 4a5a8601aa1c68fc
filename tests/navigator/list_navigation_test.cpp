#include <gtest/gtest.h>

#include "navigator/list_navigation.h"

namespace qm::test {
namespace {

// A list from a pattern: "d" a folder row (".." first when it leads), "m" a
// mail, "*" a mail that matches the search text.
std::vector<mail_row> list(std::string_view pattern) {
    std::vector<mail_row> rows;
    for (char c : pattern) {
        if (c == 'd') {
            rows.push_back(folder_row(rows.empty() ? ".." : "folder"));
            continue;
        }
        mail_row mail;
        mail.number = static_cast<int>(rows.size());
        mail.search_match = c == '*';
        rows.push_back(mail);
    }
    return rows;
}

int move(const std::vector<mail_row>& rows, int focused, nav_key key, bool shift = false, bool ctrl = false,
         int page = 10) {
    return moved_focus(rows, focused, key, shift, ctrl, page);
}

TEST(ListNavigation, ArrowsAndPagesStopAtTheEnds) {
    const auto rows = list("ddmmmmmmmmmmmmmmmmmm");  // 20 rows
    EXPECT_EQ(move(rows, 5, nav_key::up), 4);
    EXPECT_EQ(move(rows, 0, nav_key::up), 0);
    EXPECT_EQ(move(rows, 19, nav_key::down), 19);
    EXPECT_EQ(move(rows, 5, nav_key::page_down), 14);
    EXPECT_EQ(move(rows, 15, nav_key::page_down), 19);
    EXPECT_EQ(move(rows, 15, nav_key::page_up), 6);
    EXPECT_EQ(move(rows, 5, nav_key::page_up), 0);
    EXPECT_EQ(move(rows, 7, nav_key::home), 0);
    EXPECT_EQ(move(rows, 7, nav_key::end, true, true), 19);  // Home and End ignore the modifiers
    // Shift with an arrow moves a page less one row, Shift with a page key to the end.
    EXPECT_EQ(move(rows, 2, nav_key::down, true), 11);
    EXPECT_EQ(move(rows, 12, nav_key::up, true), 3);
    EXPECT_EQ(move(rows, 2, nav_key::page_down, true), 19);
    EXPECT_EQ(move(rows, 12, nav_key::page_up, true), 0);
    // A page of one row (or a list drawn too small) still moves by one.
    EXPECT_EQ(move(rows, 5, nav_key::page_down, false, false, 1), 6);
    EXPECT_EQ(move(rows, 5, nav_key::page_up, false, false, 0), 4);
    // Without a focus the first step down lands on the first row.
    EXPECT_EQ(move(rows, -1, nav_key::down), 0);
    EXPECT_EQ(move(rows, -1, nav_key::up), 0);
    // Shift with Page Down reaches the last row of a short list too.
    EXPECT_EQ(move(list("dmm"), 0, nav_key::page_down, true), 2);
}

TEST(ListNavigation, ListsOfFewerThanTwoRowsIgnoreTheKeys) {
    for (const auto& rows : {list(""), list("m"), list("*")}) {
        for (nav_key key : {nav_key::up, nav_key::down, nav_key::page_up, nav_key::page_down, nav_key::home,
                            nav_key::end}) {
            EXPECT_EQ(move(rows, 0, key), 0);
            EXPECT_EQ(move(rows, -1, key, true), -1);
            EXPECT_EQ(move(rows, 0, key, false, true), 0);
        }
    }
}

TEST(ListNavigation, CtrlJumpsToTheNearestSearchMatch) {
    const auto rows = list("dm*mm*m*m");
    EXPECT_EQ(move(rows, 3, nav_key::down, false, true), 5);
    EXPECT_EQ(move(rows, 5, nav_key::page_down, false, true), 7);
    EXPECT_EQ(move(rows, 3, nav_key::up, false, true), 2);
    EXPECT_EQ(move(rows, 5, nav_key::page_up, false, true), 2);
    EXPECT_EQ(move(rows, 5, nav_key::up, true, true), 2);  // Ctrl goes before Shift
    // No match further on: the focus stays.
    EXPECT_EQ(move(rows, 7, nav_key::down, false, true), 7);
    EXPECT_EQ(move(rows, 2, nav_key::up, false, true), 2);
    EXPECT_EQ(move(rows, -1, nav_key::down, false, true), 2);
    for (int focus : {0, 2, 4}) EXPECT_EQ(move(list("dmmmm"), focus, nav_key::down, false, true), focus);
}

TEST(ListSelection, InsertAndSelectAllTakeTheMailRowsOnly) {
    EXPECT_EQ(mail_row_indices(list("ddmm*m")), (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(mail_row_indices(list("dd")), std::vector<int>{});
    const auto rows = list("ddmmmm");
    EXPECT_EQ(inverted_mail_selection(rows, {1, 3, 5}), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(inverted_mail_selection(rows, {2, 3, 4, 5}), std::vector<int>{});
    EXPECT_EQ(inverted_mail_selection(rows, {5, 9, -1}), (std::vector<int>{2, 3, 4}));  // unknown rows dropped
    EXPECT_EQ(inverted_mail_selection(list("dd"), {0}), std::vector<int>{0});
}

}  // namespace
}  // namespace qm::test
