#include <gtest/gtest.h>

#include "platform/file_operations.h"
#include "platform/trash.h"
#include "platform/tree_operations.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

TEST(Trash, DeletedFilesLandInTheDesktopTrashWithTheirInfo) {
    temp_dir dir;
    test::scoped_env data_home("XDG_DATA_HOME", (dir / "data").c_str());
    write_bytes(dir / "受信 箱/mail", "one");
    ASSERT_TRUE(delete_file(dir.cp("受信 箱/mail"), true));
    EXPECT_FALSE(exists(dir / "受信 箱/mail"));
    EXPECT_EQ(read_bytes(dir / "data/Trash/files/mail"), "one");
    std::string info = read_bytes(dir / "data/Trash/info/mail.trashinfo");
    std::string escaped_dir = dir.path() + "%E5%8F%97%E4%BF%A1%20%E7%AE%B1/mail";
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + escaped_dir + "\nDeletionDate=", 0), 0u) << info;
    EXPECT_EQ(info.size(), std::string("[Trash Info]\nPath=\nDeletionDate=2026-12-06T07:29:57\n").size() +
                               escaped_dir.size());

    // A second file of the same name gets a name of its own.
    write_bytes(dir / "受信 箱/mail", "two");
    ASSERT_TRUE(delete_file(dir.cp("受信 箱/mail"), true));
    EXPECT_EQ(read_bytes(dir / "data/Trash/files/mail"), "one");
    EXPECT_EQ(read_bytes(dir / "data/Trash/files/mail.2"), "two");
    EXPECT_TRUE(exists(dir / "data/Trash/info/mail.2.trashinfo"));
}

TEST(Trash, WholeDirectoriesAndFailures) {
    temp_dir dir;
    test::scoped_env data_home("XDG_DATA_HOME", (dir / "data").c_str());
    write_bytes(dir / "folder/.0/0", "h");
    ASSERT_TRUE(delete_tree(dir.cp("folder/"), true));
    EXPECT_FALSE(exists(dir / "folder"));
    EXPECT_EQ(read_bytes(dir / "data/Trash/files/folder/.0/0"), "h");

    EXPECT_FALSE(move_to_trash(dir.cp("missing")));
    EXPECT_FALSE(exists(dir / "data/Trash/info/missing.trashinfo"));
}

}  // namespace
}  // namespace qm
