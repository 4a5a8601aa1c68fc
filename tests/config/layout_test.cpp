#include "config/layout.h"

#include "config_test.h"
#include "platform/file_operations.h"

namespace qm::test {
namespace {

struct layout_test : data_directory_test { layout_test() : data_directory_test("layout.ini") {} };

TEST_F(layout_test, defaults_are_written_once_and_whole) {
    EXPECT_TRUE(write_default_layout() && contents().starts_with("[value]\r\nposition x=0\r\n")) << contents();
    // A failure leaves no file, not even part of one.
    std::remove(file.c_str());
    ASSERT_TRUE(make_directory(dir.cp("layout.$$$")));
    EXPECT_FALSE(write_default_layout() || exists(file));
}

TEST_F(layout_test, loading_repairs_ratios_and_separators) {
    Layout layout;
    for (auto [tree, expected] : {std::pair{"1.5", 0.20f}, {"1.0", 0.20f}, {"0.999", 0.999f}, {"0", 0.0f},
                                  {"-0.5", 0.20f}, {"nan", 0.20f}}) {
        write_bytes(file, std::string("[value]\r\nwidth tree=") + tree + "\r\nheight preview=7\r\n");
        load_layout(layout);
        EXPECT_EQ(std::pair(layout.tree_ratio, layout.preview_ratio), std::pair(expected, 0.30f)) << tree;
    }

    write_bytes(file, sj("[directory]\r\ncurrent=仕事\\ 受信箱\r\nmark3=a\\b\\\r\nmark4=表\\x\r\n"));
    load_layout(layout);
    // The trail byte of "表" is "\": it stays.
    EXPECT_EQ((std::vector{layout.current, layout.previous, layout.marks[0], layout.marks[2], layout.marks[3]}),
              (std::vector{sj("仕事/ 受信箱/"), sj("仕事/ 受信箱/"), std::string(), std::string("a/b/"), sj("表/x/")}));
}

TEST_F(layout_test, saving_writes_every_value_and_reads_back) {
    Layout layout;
    // Column 5, the thread column, hidden.
    layout.position_x = -8, layout.sort_column = 5, layout.tree_ratio = 0.25f, layout.sort_descending = true;
    layout.column_width[5] = 0, layout.current = sj("標準アカウント/ 受信箱/"), layout.marks[11] = "a/";
    ASSERT_TRUE(save_layout(layout));
    EXPECT_NE(contents().find("\r\nwidth thread=0\r\nsort column=5\r\nwidth tree=0.25\r\n"), std::string::npos);
    Layout loaded;
    load_layout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.column_width[5], loaded.sort_column, loaded.tree_ratio,
                         loaded.sort_descending, loaded.current, loaded.marks),
              std::tuple(-8, 0, 5, 0.25f, true, layout.current, layout.marks));

    // A marked folder whose name holds a line break (made outside the program) is forgotten; everything
    // else is saved.
    layout.position_x = 5, layout.marks[0] = "a\nb/";
    ASSERT_TRUE(save_layout(layout));
    load_layout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.marks[0], loaded.marks[11]), std::tuple(5, std::string(), "a/"));

    // The shipped widths and 0 are nobody's: the window fits those columns to its font.
    loaded.column_width[2] = 300;
    std::vector<bool> users;
    for (int column = -1; column <= layout_column_count; ++column) users.push_back(column_width_is_users(loaded, column));
    EXPECT_EQ(users, (std::vector<bool>{false, false, false, true, false, false, false, false}));
}

}  // namespace
}  // namespace qm::test
