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

// Rows of 20 (two folders first) unless another pattern is given.
TEST(ListNavigation, ArrowsPagesAndCtrlSearchMatches) {
    const nav_key up = nav_key::up, down = nav_key::down, pgup = nav_key::page_up, pgdn = nav_key::page_down;
    const struct { const char* pattern; int focused; nav_key key; bool shift, ctrl; int page, to; } cases[] = {
        {"", 5, up, 0, 0, 10, 4}, {"", 0, up, 0, 0, 10, 0}, {"", 19, down, 0, 0, 10, 19},  // stop at the ends
        {"", 5, pgdn, 0, 0, 10, 14}, {"", 15, pgdn, 0, 0, 10, 19}, {"", 15, pgup, 0, 0, 10, 6}, {"", 5, pgup, 0, 0, 10, 0},
        {"", 7, nav_key::home, 0, 0, 10, 0}, {"", 7, nav_key::end, 1, 1, 10, 19},  // Home and End ignore modifiers
        // Shift with an arrow moves a page less one row, Shift with a page key to the end.
        {"", 2, down, 1, 0, 10, 11}, {"", 12, up, 1, 0, 10, 3}, {"", 2, pgdn, 1, 0, 10, 19}, {"", 12, pgup, 1, 0, 10, 0},
        {"dmm", 0, pgdn, 1, 0, 10, 2},
        // A page of one row (or a list drawn too small) still moves by one; without a focus down lands on 0.
        {"", 5, pgdn, 0, 0, 1, 6}, {"", 5, pgup, 0, 0, 0, 4}, {"", -1, down, 0, 0, 10, 0}, {"", -1, up, 0, 0, 10, 0},
        // Ctrl jumps to the nearest search match, before Shift; with none further on the focus stays.
        {"dm*mm*m*m", 3, down, 0, 1, 10, 5}, {"dm*mm*m*m", 5, pgdn, 0, 1, 10, 7}, {"dm*mm*m*m", 3, up, 0, 1, 10, 2},
        {"dm*mm*m*m", 5, pgup, 0, 1, 10, 2}, {"dm*mm*m*m", 5, up, 1, 1, 10, 2}, {"dm*mm*m*m", 7, down, 0, 1, 10, 7},
        {"dm*mm*m*m", 2, up, 0, 1, 10, 2}, {"dm*mm*m*m", -1, down, 0, 1, 10, 2}, {"dmmmm", 2, down, 0, 1, 10, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(moved_focus(list(*c.pattern ? c.pattern : "ddmmmmmmmmmmmmmmmmmm"), c.focused, c.key, c.shift, c.ctrl, c.page), c.to)
            << c.pattern << " " << c.focused << " " << static_cast<int>(c.key) << c.shift << c.ctrl;
    // Lists of fewer than two rows ignore the keys.
    for (const auto& rows : {list(""), list("m"), list("*")})
        for (nav_key key : {up, down, pgup, pgdn, nav_key::home, nav_key::end})
            EXPECT_TRUE(moved_focus(rows, 0, key, false, false, 10) == 0 && moved_focus(rows, -1, key, true, false, 10) == -1 &&
                        moved_focus(rows, 0, key, false, true, 10) == 0);
}

TEST(ListSelection, InsertAndSelectAllTakeTheMailRowsOnly) {
    EXPECT_EQ(mail_row_indices(list("ddmm*m")), (std::vector<int>{2, 3, 4, 5}));
    const auto rows = list("ddmmmm");
    EXPECT_EQ(inverted_mail_selection(rows, {1, 3, 5}), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(inverted_mail_selection(rows, {2, 3, 4, 5}), std::vector<int>{});
    EXPECT_EQ(inverted_mail_selection(rows, {5, 9, -1}), (std::vector<int>{2, 3, 4}));  // unknown rows dropped
}

}  // namespace
}  // namespace qm::test
