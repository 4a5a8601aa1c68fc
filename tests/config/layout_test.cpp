#include "config/layout.h"

#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "config/profile.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::read_bytes;
using test::sj;
using test::write_bytes;

class layout_test : public ::testing::Test {
protected:
    test::temp_dir dir;
    program_context saved = context();
    std::string file = dir / "layout.ini";

    layout_test() { set_context({dir.cp(), dir.cp(), dir.cp(), dir.cp()}); }
    ~layout_test() override { set_context(saved); }
};

TEST_F(layout_test, defaults_are_written_once_as_key_by_key_writes_would_leave_them) {
    // The file the writers give when every key is written on its own.
    const char* defaults[][3] = {
        {"value", "position x", "0"},     {"value", "position y", "0"},       {"value", "size x", "780"},
        {"value", "size y", "560"},       {"value", "width attribute", "54"}, {"value", "width date", "96"},
        {"value", "width sender", "158"}, {"value", "width subject", "226"},  {"value", "width size", "48"},
        {"value", "width thread", "60"},  {"value", "sort column", "1"},      {"value", "width tree", "0.20"},
        {"value", "height preview", "0.30"}, {"switch", "maximize", "-"},   {"switch", "sort direction", "-"}};
    for (const auto& [section, key, value] : defaults)
        ASSERT_TRUE(profile_write_string(dir.cp("by_keys.ini"), section, key, value, false));
    ASSERT_TRUE(profile_write_string(dir.cp("by_keys.ini"), "directory", "current", sj("標準アカウント/"), false));
    for (int mark = 1; mark <= 12; ++mark)
        ASSERT_TRUE(profile_write_string(dir.cp("by_keys.ini"), "directory", "mark" + std::to_string(mark), "", false));

    ASSERT_TRUE(WriteDefaultLayout());
    EXPECT_EQ(read_bytes(file), read_bytes(dir / "by_keys.ini"));

    // An existing file is never rewritten.
    write_bytes(file, "[value]\r\nsize x=1\r\n");
    ASSERT_TRUE(WriteDefaultLayout());
    EXPECT_EQ(read_bytes(file), "[value]\r\nsize x=1\r\n");

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
    EXPECT_NE(read_bytes(file).find("width thread=0\r\nsort column=5\r\nwidth tree=0.25\r\n"), std::string::npos);
    Layout loaded;
    LoadLayout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.column_width[5], loaded.tree_ratio, loaded.sort_descending,
                         loaded.current, loaded.marks),
              std::tuple(-8, 0, 0.25f, true, layout.current, layout.marks));
    ASSERT_TRUE(make_directory(dir.cp("layout.$$$")));
    EXPECT_FALSE(SaveLayout(layout));
}

}  // namespace
}  // namespace qm
