#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/cp932.h"
#include "platform/directories.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/unique_file.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

// The names a walk lists, without "." and "..", sorted, each with "/" after a directory and "@" after a link.
names listed_names(const std::string& path) {
    names listed;
    directory_walker walker(path);
    for (dir_entry entry; walker.next(entry);)
        if (entry.name != "." && entry.name != "..")
            listed.push_back(entry.name + (entry.directory ? "/" : "") + (entry.symlink ? "@" : ""));
    std::sort(listed.begin(), listed.end());
    return listed;
}

TEST(Cp932Names, NamesAreUtf8OnDiskAndCp932InTheProgram) {
    // The trail byte of 表 (and of ソ) is 0x5C: no separator.
    temp_dir dir;
    const std::string inbox = sj(" 受信箱"), table = sj("予定表");
    ASSERT_EQ(table.back(), '\\');
    ASSERT_TRUE(make_directory(dir.cp() + inbox + "/") && make_directory(dir.cp() + table + "/"));
    EXPECT_EQ(list_names(dir.path()), (names{" 受信箱", "予定表"}));
    // A link to a directory is both; a walk of what is not there lists nothing.
    ASSERT_EQ(::symlink((dir / " 受信箱").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(listed_names(dir.cp()), (names{inbox + "/", "link/@", table + "/"}));
    EXPECT_FALSE(directory_walker(dir.cp("none/")).is_open());
    ::unlink((dir / "link").c_str());

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

TEST(Directories, SharedTemporaryDirectoryGetsAPrivateSubdirectory) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 01777);
    // TMP alone of the variables that choose the temporary directory.
    scoped_env ram("TMP_RAM", nullptr), temp("TEMP", nullptr), tmpdir("TMPDIR", nullptr), tmp("TMP", dir.path().c_str());
    const std::string name = "quillmere-" + std::to_string(::getuid()), expected = dir.cp(name + "/");
    for (int round = 0; round < 2; ++round) {  // made 0700, then loose permissions are tightened
        EXPECT_EQ(find_temporary_directory(), expected);
        EXPECT_EQ(mode_of(dir / name), 0700u);
        ::chmod((dir / name).c_str(), 0777);
    }
    // A symbolic link, or a directory of someone else, is refused.
    ASSERT_TRUE(::rmdir((dir / name).c_str()) == 0 && ::mkdir((dir / "elsewhere").c_str(), 0700) == 0 &&
                ::symlink((dir / "elsewhere").c_str(), (dir / name).c_str()) == 0);
    EXPECT_EQ(find_temporary_directory(), std::nullopt);
    ::unlink((dir / name).c_str());
    if (::getuid() == 0)
        ASSERT_TRUE(::mkdir((dir / name).c_str(), 0700) == 0 && ::chown((dir / name).c_str(), 65534, 65534) == 0);
    else
        write_bytes(dir / name, "only root can give a directory away; the file-type check still runs");
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
    ASSERT_TRUE(::unlink((dir / "usr/share/quillmere").c_str()) == 0 && ::mkdir((dir / "usr/share/quillmere").c_str(), 0700) == 0);
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
