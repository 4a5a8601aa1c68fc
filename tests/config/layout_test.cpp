#include "config/layout.h"

#include "config_test.h"
#include "platform/file_operations.h"

namespace qm::test {
namespace {

struct layout_test : data_directory_test {
    layout_test() : data_directory_test("layout.ini") {}
};

TEST_F(layout_test, defaults_are_written_once_and_whole) {
    ASSERT_TRUE(WriteDefaultLayout());
    EXPECT_EQ(contents(),
              crlf(sj("[value]\nposition x=0\nposition y=0\nsize x=780\nsize y=560\nwidth attribute=54\n"
                      "width date=96\nwidth sender=158\nwidth subject=226\nwidth size=48\nwidth thread=60\n"
                      "sort column=1\nwidth tree=0.20\nheight preview=0.30\n[switch]\nmaximize=-\nsort direction=-\n"
                      "[directory]\ncurrent=標準アカウント/\nmark1=\nmark2=\nmark3=\nmark4=\nmark5=\nmark6=\nmark7=\n"
                      "mark8=\nmark9=\nmark10=\nmark11=\nmark12=\n")));

    // An existing file is never rewritten.
    write_bytes(file, "[value]\r\nsize x=1\r\n");
    ASSERT_TRUE(WriteDefaultLayout());
    EXPECT_EQ(contents(), "[value]\r\nsize x=1\r\n");

    // A failure leaves no file, not even part of one.
    std::remove(file.c_str());
    ASSERT_TRUE(make_directory(dir.cp("layout.$$$")));
    EXPECT_FALSE(WriteDefaultLayout());
    EXPECT_FALSE(exists(file));
}

TEST_F(layout_test, loading_repairs_ratios_and_separators) {
    Layout layout;
    LoadLayout(layout);
    EXPECT_EQ(std::tuple(layout.size_x, layout.column_width[2], layout.tree_ratio, layout.previous),
              std::tuple(780, 158, 0.20f, sj("標準アカウント/")));

    for (auto [tree, expected] : {std::pair{"1.5", 0.20f}, {"1.0", 0.20f}, {"0.999", 0.999f}, {"0", 0.0f},
                                  {"-0.5", 0.20f}, {"nan", 0.20f}}) {
        write_bytes(file, std::string("[value]\r\nwidth tree=") + tree + "\r\nheight preview=7\r\n");
        LoadLayout(layout);
        EXPECT_EQ(std::pair(layout.tree_ratio, layout.preview_ratio), std::pair(expected, 0.30f)) << tree;
    }

    write_bytes(file, sj("[directory]\r\ncurrent=仕事\\ 受信箱\r\nmark3=a\\b\\\r\nmark4=表\\x\r\n"));
    LoadLayout(layout);
    // The trail byte of "表" is "\": it stays.
    EXPECT_EQ((std::vector{layout.current, layout.previous, layout.marks[0], layout.marks[2], layout.marks[3]}),
              (std::vector{sj("仕事/ 受信箱/"), sj("仕事/ 受信箱/"), std::string(), std::string("a/b/"), sj("表/x/")}));
    EXPECT_EQ(layout_account_root("/m/", layout.current), sj("/m/仕事/"));
}

TEST_F(layout_test, saving_writes_every_value_and_reads_back) {
    Layout layout;
    layout.position_x = -8, layout.sort_column = 5, layout.tree_ratio = 0.25f, layout.sort_descending = true;
    layout.column_width[5] = 0;  // the thread column hidden
    layout.current = sj("標準アカウント/ 受信箱/");
    layout.marks[11] = "a/";
    ASSERT_TRUE(SaveLayout(layout));
    EXPECT_TRUE(contains(contents(), "width thread=0\r\nsort column=5\r\nwidth tree=0.25\r\n"));
    Layout loaded;
    LoadLayout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.column_width[5], loaded.tree_ratio, loaded.sort_descending,
                         loaded.current, loaded.marks),
              std::tuple(-8, 0, 0.25f, true, layout.current, layout.marks));
    const std::string saved = contents();
    layout.position_x = 5, layout.marks[11] = "a\nb";  // the last value cannot be stored: nothing is
    EXPECT_FALSE(SaveLayout(layout));
    EXPECT_EQ(contents(), saved);
    ASSERT_TRUE(make_directory(dir.cp("layout.$$$")));
    EXPECT_FALSE(SaveLayout(layout));
}

}  // namespace
}  // namespace qm::test
