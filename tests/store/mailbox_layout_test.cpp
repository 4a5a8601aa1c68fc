#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "store/store_fixture.h"
#include "store/text_search.h"

namespace qm::test {
namespace {

class MailboxLayout : public ::testing::Test {
protected:
    temp_dir dir;
};

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
    // Sized by the highest number, the search would need far more than 64 MB more address space.
    if (::fork() == 0) {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t bytes = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (64u << 20);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_AS, &limit);
        ::_exit(lowest_free_message_number(dir.cp()) == 2 ? 0 : 1);
    }
    int status = -1;
    ::wait(&status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
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
        {x, "[mail status]\ntype=\n", "    "},  // an empty type reads as read
        {x, "[other]\ntype=!\n", "    "},
        {x, "", "    "},  // no status file: read, no flags
        // A status line in the header wins.
        {"Subject: x\r\nX-Quillmere-Status: R@R \r\n", status, " @R "},
        {"x-quillmere-status: !@S \r\n", status, "S@  "},
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
