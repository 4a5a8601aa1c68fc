#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "platform/directory_walker.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::temp_dir;
using test::write_bytes;

std::map<std::string, dir_entry> walk(const std::string& path) {
    std::map<std::string, dir_entry> entries;
    directory_walker walker(path);
    dir_entry entry;
    while (walker.next(entry)) entries[entry.name] = entry;
    return entries;
}

TEST(DirectoryWalker, EntriesCarryNameSizeTimeAndFlags) {
    temp_dir dir;
    write_bytes(dir / "file.txt", "12345");
    write_bytes(dir / ".7/0", "h");
    ::mkdir((dir / "sub").c_str(), 0700);
    write_bytes(dir / "ro", "r");
    ::chmod((dir / "ro").c_str(), 0444);
    // A sparse file beyond 4 GiB needs both halves of the size.
    int fd = ::open((dir / "huge").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::ftruncate(fd, 0x100000005LL), 0);
    ::close(fd);
    // 2024-03-05 07:08:09 local time.
    std::tm when{};
    when.tm_year = 124, when.tm_mon = 2, when.tm_mday = 5, when.tm_hour = 7, when.tm_min = 8, when.tm_sec = 9;
    when.tm_isdst = -1;
    struct timespec times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
    ::utimensat(AT_FDCWD, (dir / "file.txt").c_str(), times, 0);

    auto entries = walk(dir.cp());
    ASSERT_EQ(entries.size(), 7u);  // ".", "..", file.txt, .7, sub, ro, huge
    EXPECT_TRUE(entries.count(".") && entries.count(".."));
    const dir_entry& file = entries["file.txt"];
    EXPECT_EQ(file.size, 5u);
    EXPECT_EQ(file.time_text, "2024. 3. 5  7:08.09");
    EXPECT_FALSE(file.directory || file.hidden || file.read_only || file.system || file.archive);
    EXPECT_TRUE(entries[".7"].directory);
    EXPECT_TRUE(entries[".7"].hidden);
    EXPECT_TRUE(entries["sub"].directory);
    EXPECT_TRUE(entries["ro"].read_only);
    EXPECT_EQ(entries["huge"].size_high(), 1u);
    EXPECT_EQ(entries["huge"].size_low(), 5u);
}

TEST(DirectoryWalker, PatternsSelectEntries) {
    temp_dir dir;
    for (const char* name : {"qlm_0000.TXT", "qlm_0001.HTM", "qlm_plain", "other.TXT", "xqlm_1.TXT"})
        write_bytes(dir / name, "");
    auto entries = walk(dir.cp("qlm_*.*"));
    std::vector<std::string> names;
    for (auto& [name, entry] : entries) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"qlm_0000.TXT", "qlm_0001.HTM", "qlm_plain"}));
    EXPECT_EQ(walk(dir.cp("*.*")).size(), 7u);  // everything, "." and ".." included
    EXPECT_EQ(walk(dir.cp("*.TXT")).size(), 3u);
}

TEST(DirectoryWalker, MissingDirectoryAndSymlinks) {
    temp_dir dir;
    directory_walker walker(dir.cp("none/"));
    EXPECT_FALSE(walker.is_open());
    dir_entry entry;
    EXPECT_FALSE(walker.next(entry));

    ::mkdir((dir / "real").c_str(), 0700);
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    auto entries = walk(dir.cp());
    EXPECT_TRUE(entries["link"].symlink);
    EXPECT_TRUE(entries["link"].directory);
    EXPECT_FALSE(entries["real"].symlink);
}

}  // namespace
}  // namespace qm
