#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/attributes.h"
#include "platform/tree_operations.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

// A folder with a message directory holding read-only files, a nested
// read-only sub-folder and a Japanese name.
void make_sample_tree(const std::string& root) {
    write_bytes(root + "arrange.lst", "\tr\r\n");
    write_bytes(root + ".0/0", "Subject: a\r\n");
    write_bytes(root + ".0/1", "\r\nbody\r\n");
    ::chmod((root + ".0/0").c_str(), 0444);
    ::chmod((root + ".0/1").c_str(), 0444);
    write_bytes(root + "仕事/.0/0", "x");
    write_bytes(root + "仕事/深い/f", "deep");
    ::chmod((root + "仕事/深い").c_str(), 0555);
}

TEST(TreeOperations, CopyTreeKeepsFilesAndReadOnlyMarks) {
    temp_dir dir;
    make_sample_tree(dir / "src/");
    ::mkdir((dir / "dst").c_str(), 0700);
    ASSERT_TRUE(copy_tree(dir.cp("src/"), dir.cp("dst/")));
    EXPECT_EQ(read_bytes(dir / "dst/.0/1"), "\r\nbody\r\n");
    EXPECT_EQ(read_bytes(dir / "dst/仕事/深い/f"), "deep");
    EXPECT_TRUE(is_read_only(dir.cp("dst/.0/0")));
    EXPECT_TRUE(is_read_only(dir.cp("dst/仕事/深い")));
    EXPECT_FALSE(is_read_only(dir.cp("dst/仕事")));
    EXPECT_EQ(list_names(dir / "src"), list_names(dir / "dst"));
}

TEST(TreeOperations, EmptyAndDeleteTreeWithReadOnlyEntries) {
    temp_dir dir;
    make_sample_tree(dir / "t/");
    ASSERT_TRUE(empty_tree(dir.cp("t/")));
    EXPECT_TRUE(exists(dir / "t"));
    EXPECT_TRUE(list_names(dir / "t").empty());

    make_sample_tree(dir / "u/");
    ASSERT_TRUE(delete_tree(dir.cp("u/"), false));
    EXPECT_FALSE(exists(dir / "u"));
    EXPECT_FALSE(delete_tree(dir.cp("u/"), false));
}

TEST(TreeOperations, MoveContentsIsWholeOrNothing) {
    temp_dir dir;
    make_sample_tree(dir / "src/");
    ::mkdir((dir / "dst").c_str(), 0700);
    ASSERT_TRUE(move_contents(dir.cp("src/"), dir.cp("dst/")));
    EXPECT_TRUE(list_names(dir / "src").empty());
    EXPECT_EQ(read_bytes(dir / "dst/仕事/深い/f"), "deep");

    // A clash in the target stops the move and puts back what had moved.
    make_sample_tree(dir / "again/");
    ::mkdir((dir / "busy").c_str(), 0700);
    write_bytes(dir / "busy/arrange.lst", "keep");
    EXPECT_FALSE(move_contents(dir.cp("again/"), dir.cp("busy/")));
    EXPECT_EQ(list_names(dir / "again"), (std::vector<std::string>{".0", "arrange.lst", "仕事"}));
    EXPECT_EQ(list_names(dir / "busy"), std::vector<std::string>{"arrange.lst"});
    EXPECT_EQ(read_bytes(dir / "busy/arrange.lst"), "keep");
}

TEST(TreeOperations, MoveDirectoryNeverMergesIntoAnExistingTarget) {
    temp_dir dir;
    make_sample_tree(dir / "a/");
    ASSERT_TRUE(move_directory(dir.cp("a/"), dir.cp("b/"), false));
    EXPECT_FALSE(exists(dir / "a"));
    EXPECT_EQ(read_bytes(dir / "b/.0/1"), "\r\nbody\r\n");

    make_sample_tree(dir / "c/");
    write_bytes(dir / "d/precious", "p");
    EXPECT_FALSE(move_directory(dir.cp("c/"), dir.cp("d/"), false));
    EXPECT_EQ(read_bytes(dir / "d/precious"), "p");
    EXPECT_TRUE(exists(dir / "c/.0/0"));

    // Into its own sub-folder: refused, nothing changes.
    EXPECT_FALSE(move_directory(dir.cp("c/"), dir.cp("c/仕事/c/"), false));
    EXPECT_EQ(list_names(dir / "c"), (std::vector<std::string>{".0", "arrange.lst", "仕事"}));

    // With replace the old target goes to the trash.
    test::scoped_env data_home("XDG_DATA_HOME", (dir / "data").c_str());
    ASSERT_TRUE(move_directory(dir.cp("c/"), dir.cp("d/"), true));
    EXPECT_EQ(read_bytes(dir / "data/Trash/files/d/precious"), "p");
    EXPECT_TRUE(exists(dir / "d/.0/0"));
}

}  // namespace
}  // namespace qm
