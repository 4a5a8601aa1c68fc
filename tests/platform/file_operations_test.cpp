#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_operations.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

// Points the desktop trash into the test's directory.
struct trash_in {
    explicit trash_in(const temp_dir& dir) : data_home("XDG_DATA_HOME", (dir / "data").c_str()) {}
    test::scoped_env data_home;
};

TEST(FileOperations, ExistsSizeAndDirectories) {
    temp_dir dir;
    write_bytes(dir / "f", "12345");
    EXPECT_TRUE(path_exists(dir.cp("f")));
    EXPECT_FALSE(path_exists(dir.cp("g")));
    EXPECT_EQ(file_size(dir.cp("f")), 5);
    EXPECT_EQ(file_size(dir.cp("g")), -1);

    EXPECT_TRUE(make_directory(dir.cp("d/")));
    EXPECT_FALSE(make_directory(dir.cp("d/")));
    EXPECT_TRUE(directory_exists(dir.cp("d")));
    EXPECT_TRUE(directory_exists(dir.cp("d/")));
    EXPECT_FALSE(directory_exists(dir.cp("f")));
    make_directory(dir.cp("e"));
    make_directory(dir.cp(".3"));
    EXPECT_EQ(count_subdirectories(dir.cp()), 3);
    EXPECT_EQ(count_subdirectories(dir.cp("none/")), -1);
    EXPECT_TRUE(remove_directory(dir.cp("d/")));
    EXPECT_FALSE(exists(dir / "d"));
}

TEST(FileOperations, RenameNeverReplaces) {
    temp_dir dir;
    write_bytes(dir / "a", "A");
    write_bytes(dir / "b", "B");
    EXPECT_FALSE(rename_path(dir.cp("a"), dir.cp("b")));
    EXPECT_EQ(read_bytes(dir / "a"), "A");
    EXPECT_EQ(read_bytes(dir / "b"), "B");
    EXPECT_TRUE(rename_path(dir.cp("a"), dir.cp("c")));
    EXPECT_EQ(read_bytes(dir / "c"), "A");

    // Work to work is a different name on Linux: allowed only while no
    // folder work exists.
    make_directory(dir.cp("Work/"));
    make_directory(dir.cp("work/"));
    write_bytes(dir / "work/keep", "k");
    EXPECT_FALSE(rename_path(dir.cp("Work/"), dir.cp("work/")));
    EXPECT_EQ(read_bytes(dir / "work/keep"), "k");
}

TEST(FileOperations, CopyKeepsBytesModeAndTime) {
    temp_dir dir;
    trash_in trash(dir);
    std::string bytes("a\0b\r\n\x1a tail", 11);
    write_bytes(dir / "src", bytes);
    ::chmod((dir / "src").c_str(), 0444);
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, (dir / "src").c_str(), times, 0);

    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("dst"), false));
    EXPECT_EQ(read_bytes(dir / "dst"), bytes);
    struct stat status;
    ::stat((dir / "dst").c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0444u);
    EXPECT_EQ(status.st_mtime, 1000000000);

    // Without replace an existing target is overwritten; with replace it
    // goes to the trash first.
    write_bytes(dir / "old", "old");
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("old"), false));
    EXPECT_EQ(read_bytes(dir / "old"), bytes);
    write_bytes(dir / "older", "older");
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("older"), true));
    EXPECT_EQ(read_bytes(dir / "data/Trash/files/older"), "older");

    EXPECT_FALSE(copy_file(dir.cp("missing"), dir.cp("x"), false));
    EXPECT_FALSE(exists(dir / "x"));
    // No companion is left beside a failed copy.
    make_directory(dir.cp("blocked/"));
    EXPECT_FALSE(copy_file(dir.cp("src"), dir.cp("blocked"), false));
    EXPECT_EQ(test::list_names(dir.path()),
              (std::vector<std::string>{"blocked", "data", "dst", "old", "older", "src"}));
}

TEST(FileOperations, MoveAppendAndDelete) {
    temp_dir dir;
    write_bytes(dir / "a", "A");
    ASSERT_TRUE(move_file(dir.cp("a"), dir.cp("b"), false));
    EXPECT_FALSE(exists(dir / "a"));
    EXPECT_EQ(read_bytes(dir / "b"), "A");

    write_bytes(dir / "tail", std::string(3000, 't'));
    ASSERT_TRUE(append_file(dir.cp("tail"), dir.cp("b")));
    EXPECT_EQ(read_bytes(dir / "b"), "A" + std::string(3000, 't'));

    ::chmod((dir / "b").c_str(), 0444);
    EXPECT_TRUE(delete_file(dir.cp("b")));
    EXPECT_FALSE(exists(dir / "b"));
    EXPECT_FALSE(delete_file(dir.cp("b")));
}

TEST(FileOperations, TextFilesAndFinalNewline) {
    temp_dir dir;
    ASSERT_TRUE(write_text_file(dir.cp("t"), "x\ny"));
    EXPECT_EQ(read_bytes(dir / "t"), "x\r\ny");
    ASSERT_TRUE(append_text(dir.cp("t"), "\nz\n"));
    EXPECT_EQ(read_bytes(dir / "t"), "x\r\ny\r\nz\r\n");
    ASSERT_TRUE(ensure_final_newline(dir.cp("t")));
    EXPECT_EQ(read_bytes(dir / "t"), "x\r\ny\r\nz\r\n");

    write_bytes(dir / "empty", "");
    ASSERT_TRUE(ensure_final_newline(dir.cp("empty")));
    EXPECT_EQ(read_bytes(dir / "empty"), "\r\n");
    write_bytes(dir / "open", "abc");
    ASSERT_TRUE(ensure_final_newline(dir.cp("open")));
    EXPECT_EQ(read_bytes(dir / "open"), "abc\r\n");
    write_bytes(dir / "ctrlz", "abc\r\n\x1a");
    ASSERT_TRUE(ensure_final_newline(dir.cp("ctrlz")));
    EXPECT_EQ(read_bytes(dir / "ctrlz"), "abc\r\n\r\n");
    EXPECT_FALSE(ensure_final_newline(dir.cp("missing")));

    // A text file that cannot be written leaves nothing behind.
    EXPECT_FALSE(write_text_file(dir.cp("no/such/dir"), "x"));
}

}  // namespace
}  // namespace qm
