#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "platform/cp932.h"
#include "platform/directories.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/unique_file.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

std::map<std::string, dir_entry> walk(const std::string& path) {
    std::map<std::string, dir_entry> entries;
    directory_walker walker(path);
    for (dir_entry entry; walker.next(entry);) entries[entry.name] = entry;
    return entries;
}

// The names a walk lists, without "." and "..", sorted.
names listed_names(const std::string& path) {
    names listed;
    for (const auto& [name, entry] : walk(path))
        if (name != "." && name != "..") listed.push_back(name);
    return listed;
}

// Callers read the name and whether an entry is a directory or a symbolic link.
TEST(DirectoryWalker, EntriesCarryNameAndKind) {
    temp_dir dir;
    write_bytes(dir / "file.txt", "12345");
    write_bytes(dir / ".7/0", "h");
    ::mkdir((dir / "real").c_str(), 0700);
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    auto entries = walk(dir.cp());
    ASSERT_EQ(entries.size(), 6u);  // ".", "..", file.txt, .7, real, link
    EXPECT_FALSE(entries["file.txt"].directory || entries["file.txt"].symlink);
    EXPECT_TRUE(entries[".7"].directory && entries["link"].symlink && entries["link"].directory && entries["real"].directory &&
                !entries["real"].symlink);
    directory_walker walker(dir.cp("none/"));
    dir_entry entry;
    EXPECT_FALSE(walker.is_open() || walker.next(entry));
}

TEST(Cp932Names, NamesAreUtf8OnDiskAndCp932InTheProgram) {
    // The trail byte of 表 (and of ソ) is 0x5C: no separator.
    temp_dir dir;
    const std::string inbox = sj(" 受信箱"), table = sj("予定表");
    ASSERT_EQ(table.back(), '\\');
    ASSERT_TRUE(make_directory(dir.cp() + inbox + "/") && make_directory(dir.cp() + table + "/"));
    EXPECT_EQ(list_names(dir.path()), (names{" 受信箱", "予定表"}));
    EXPECT_EQ(listed_names(dir.cp()), (names{inbox, table}));

    // A program path with a lone lead byte names nothing.
    const std::string lone_lead = dir.cp() + "abc\x82";
    EXPECT_FALSE(!disk_path(lone_lead).empty() || make_directory(lone_lead) || path_exists(lone_lead) ||
                 write_text_file(lone_lead, "x") || file_size(lone_lead) != -1);
    EXPECT_EQ(list_names(dir.path()), (names{" 受信箱", "予定表"}));

    // 0x8160 is FULLWIDTH TILDE on disk: a WAVE DASH name would not map back. Names CP932 cannot
    // spell, or that are not even UTF-8, are not listed either.
    remove_tree(dir / " 受信箱"), remove_tree(dir / "予定表");
    for (const char* name : {"a～b", "c〜d", "emoji😀.txt", "latin-é.txt", "bad\xff.txt"}) write_bytes(dir / name, "x");
    EXPECT_EQ(listed_names(dir.cp()), names{"a\x81\x60" "b"});
    EXPECT_TRUE(path_exists(dir.cp() + "a\x81\x60" "b"));
}

// Clears every variable that chooses the temporary directory.
struct clean_temporary_environment {
    scoped_env ram{"TMP_RAM", nullptr}, tmp{"TMP", nullptr}, temp{"TEMP", nullptr}, tmpdir{"TMPDIR", nullptr};
};

TEST(Directories, TemporaryDirectoryFollowsTheEnvironment) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 0700);
    ::mkdir((dir / "Mixed").c_str(), 0700);
    clean_temporary_environment clean;
    // Backslashes become slashes; the case is kept. TMP_RAM comes first.
    scoped_env temp("TEMP", (dir.path() + "Mixed\\").c_str());
    EXPECT_EQ(find_temporary_directory(), dir.cp("Mixed/"));
    scoped_env ram("TMP_RAM", dir.path().c_str());
    EXPECT_EQ(find_temporary_directory(), dir.cp());
}

TEST(Directories, SharedTemporaryDirectoryGetsAPrivateSubdirectory) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 01777);
    clean_temporary_environment clean;
    scoped_env tmp("TMP", dir.path().c_str());
    const std::string name = "quillmere-" + std::to_string(::getuid()), expected = dir.cp(name + "/");
    for (int round = 0; round < 2; ++round) {  // made 0700, then loose permissions are tightened
        EXPECT_EQ(find_temporary_directory(), expected);
        EXPECT_EQ(mode_of(dir / name), 0700u);
        ::chmod((dir / name).c_str(), 0777);
    }
    // A symbolic link, or a directory of someone else, is refused.
    ASSERT_EQ(::rmdir((dir / name).c_str()), 0);
    ::mkdir((dir / "elsewhere").c_str(), 0700);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / name).c_str()), 0);
    EXPECT_EQ(find_temporary_directory(), std::nullopt);
    ::unlink((dir / name).c_str());
    if (::getuid() == 0) {
        ::mkdir((dir / name).c_str(), 0700);
        ASSERT_EQ(::chown((dir / name).c_str(), 65534, 65534), 0);
    } else {
        write_bytes(dir / name, "only root can give a directory away; the file-type check still runs");
    }
    EXPECT_EQ(find_temporary_directory(), std::nullopt);
}

// An installed copy keeps its data in the user's data directory even where
// it may write beside itself; a portable copy or the build's bin/ keeps it
// beside the program.
TEST(Directories, InstalledCopyIsBinBesideShareQuillmere) {
    temp_dir dir;
    write_bytes(dir / "usr/bin/quillmere", "");
    write_bytes(dir / "usr/share/quillmere", "a file, not the directory");
    EXPECT_FALSE(is_installed_copy(dir.cp("usr/bin/")));
    ::unlink((dir / "usr/share/quillmere").c_str());
    ::mkdir((dir / "usr/share/quillmere").c_str(), 0700);
    EXPECT_TRUE(is_installed_copy(dir.cp("usr/bin/")));
    EXPECT_FALSE(is_installed_copy(dir.cp("usr/")) || is_installed_copy(dir.cp("usr/share/")));
    EXPECT_FALSE(is_installed_copy(QUILLMERE_BINARY_DIR "/"));
}

TEST(UniqueFile, FillsTheRunOfDollarsWithTheLowestFreeNumber) {
    temp_dir dir;
    for (const char* taken : {"qlm_0000.TXT", "qlm_0001.TXT"}) write_bytes(dir / taken, "");
    EXPECT_EQ(create_unique_file(dir.cp(), "qlm_$$$$.TXT"), dir.cp("qlm_0002.TXT"));
    EXPECT_EQ(mode_of(dir / "qlm_0002.TXT"), 0600u);

    // A run of one "$" has ten names.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(create_unique_file(dir.cp(), "L_$.TMP"), dir.cp("L_" + std::to_string(i) + ".TMP"));
    EXPECT_FALSE(create_unique_file(dir.cp(), "L_$.TMP") || create_unique_file(dir.cp(), "plain.TMP") ||
                 create_unique_file(dir.cp("missing/"), "a$$.TMP"));
}

}  // namespace
}  // namespace qm::test
