#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "store/store_fixture.h"
#include "store/text_search.h"

namespace qm::test {
namespace {

class MailboxLayout : public ::testing::Test {
protected:
    temp_dir dir;
    recording_reporter report;
};

TEST_F(MailboxLayout, SpecialFoldersAreKnownOnlyDirectlyBelowTheAccount) {
    std::string account = dir.cp("標準アカウント/");
    ASSERT_TRUE(make_directory(account) && make_special_folders(account));
    EXPECT_TRUE(make_special_folders(account));  // again: nothing changes
    EXPECT_EQ(which_special_folder(account, account + sj(" 送信箱/草稿/")), special_folder::drafts);
    EXPECT_EQ(which_special_folder(account, account + sj("仕事/ 受信箱/")), std::nullopt);
    EXPECT_EQ(which_special_folder(account, account + sj(" 受信箱")), std::nullopt);
}

TEST_F(MailboxLayout, NewMessagesTakeTheLowestFreeNumberAndNoHalfMessageStays) {
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt), 0);
    for (int n : {1, 3}) ASSERT_TRUE(make_directory(message_directory(dir.cp(), n)));
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt), 2);
    write_bytes(dir / ".5", "");  // a file takes the number too
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt), 4);
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt), 6);

    // The contents of a source move in; the caller removes the emptied source.
    write_message(dir / "work/", {"Subject: x\r\n", "\r\nbody\r\n"});
    ::chmod((dir / "work/0").c_str(), 0444);  // as received mail is
    write_bytes(dir / "folder/.0/0", "older");
    ASSERT_EQ(new_message_directory(dir.cp("folder/"), dir.cp("work/")), 1);
    EXPECT_EQ(read_bytes(dir / "folder/.1/0") + read_bytes(dir / "folder/.1/1"), "Subject: x\r\n\r\nbody\r\n");
    EXPECT_EQ(list_names(dir / "work"), names{});
    EXPECT_EQ(new_message_directory(dir.cp("none/"), std::nullopt), -1);
    EXPECT_EQ(new_message_directory(dir.cp("folder/"), dir.cp("missing/")), -1);
    EXPECT_EQ(list_names(dir / "folder"), (names{".0", ".1"}));
}

TEST_F(MailboxLayout, OnlyTheNamesOfNumbersAreMessagesAndAStrayHighNumberCostsNothing) {
    for (auto [name, number] : {std::pair<const char*, std::optional<int>>{".0", 0}, {".12", 12},
                                {".2147483647", 2147483647}, {".2147483648", std::nullopt}, {".012", std::nullopt},
                                {".", std::nullopt}, {"12", std::nullopt}, {".1a", std::nullopt},
                                {".-1", std::nullopt}, {"..", std::nullopt}})
        EXPECT_EQ(message_number_of(name), number) << name;

    for (const char* name : {".0", ".1", ".999999999", ".2147483647", ".007"}) make_directory(dir.cp(name));
    // With at most 64 MB more address space than now, a search that sized its table by the highest number
    // would fail.
    if (pid_t child = ::fork(); child == 0) {
        std::size_t in_use = 0;
        std::FILE* status = std::fopen("/proc/self/statm", "r");
        if (!status || std::fscanf(status, "%zu", &in_use) != 1) ::_exit(3);
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = in_use * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + (64u << 20);
        ::setrlimit(RLIMIT_AS, &limit);
        ::_exit(lowest_free_message_number(dir.cp()) == 2 ? 0 : 1);
    } else {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

TEST_F(MailboxLayout, AMessageMovesAsOneDirectory) {
    write_message(dir / "a/.4/", {"Subject: x\r\n", "\r\nbody\r\n"});
    write_bytes(dir / "b/.0/0", "older");
    struct stat before, after;
    ::stat((dir / "a/.4").c_str(), &before);
    ASSERT_EQ(move_message_directory(dir.cp("a/.4/"), dir.cp("b/")), 1);
    ::stat((dir / "b/.1").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);  // renamed, never copied file by file
    EXPECT_EQ(move_message_directory(dir.cp("a/.4/"), dir.cp("b/")), -1);  // gone
}

// The attribute text of a message with this header and status file.
std::string attribute_text(const std::string& header, const std::string& status) {
    temp_dir dir;
    write_message(dir / ".0/", {header}, status);
    return read_attribute_text(dir.cp(".0/0"));
}

TEST(MessageStatus, AttributeTextFromTheStatusFileOrTheStatusLine) {
    const std::string x = "Subject: x\r\n", status = "[mail status]\r\ntype=!\r\nattachment=-\r\n";
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {x, "[mail status]\ntype=!\nattachment=+\n", "!@  "},
        {x, "[mail status]\ntype=S\nreplied=ON\nforwarded=on\n", "S RF"},
        {x, "[mail status]\ntype=D\nattachment=1\nreplied=OFF\nforwarded=yes\n", "D   "},
        {x, "[mail status]\ntype=Draft\n", "D   "},
        {x, "[mail status]\ntype=\n", "    "},  // an empty type reads as read
        {x, "[other]\ntype=!\n", "    "},
        {x, "", "    "},  // no status file: read, no flags
        // A status line in the header wins.
        {"Subject: x\r\nX-Quillmere-Status: R@R \r\n", status, " @R "},
        {"x-quillmere-status: !@S \r\n", status, "S@  "},
        {"X-quillmere-Status: D\r\n", status, "D"},
        {"X-quillmere-Status: !@RF*extra\r\n", status, "!@RF*"},
        // Nothing after its colon: an empty text, read no further than the line.
        {"X-quillmere-Status:\r\nSubject: abc\r\n", status, ""},
        {"Subject: X-quillmere-Status: R@RF\r\n", status, "!   "},  // only at the start of a line
    };
    for (const auto& [header, status_file, text] : rows)
        EXPECT_EQ(attribute_text(header, status_file), text) << header << status_file;
    // Read in 1000-byte pieces: a status line inside a long line is not found, one starting a piece is.
    std::string text;
    EXPECT_FALSE(header_status_text("X-A: " + std::string(200, 'a') + "X-quillmere-Status: R@RF\n", text));
    EXPECT_TRUE(header_status_text("X-A: " + std::string(995, 'a') + "X-quillmere-Status: !@RF\n", text));
    EXPECT_EQ(text, "!@RF");
}

}  // namespace
}  // namespace qm::test
