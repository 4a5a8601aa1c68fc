#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "store/mailbox_move.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

TEST(MailboxLayout, NewMessagesTakeTheLowestFreeNumberAndNoHalfMessageStays) {
    temp_dir dir;
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

TEST(MailboxLayout, OnlyTheNamesOfNumbersAreMessagesAndAStrayHighNumberCostsNothing) {
    for (auto [name, number] : {std::pair<const char*, std::optional<int>>{".0", 0}, {".12", 12},
                                {".2147483647", 2147483647}, {".2147483648", std::nullopt}, {".012", std::nullopt},
                                {".", std::nullopt}, {"12", std::nullopt}, {".1a", std::nullopt},
                                {".-1", std::nullopt}, {"..", std::nullopt}})
        EXPECT_EQ(message_number_of(name), number) << name;

    temp_dir dir;
    for (const char* name : {".0", ".1", ".999999999", ".2147483647", ".007"}) make_directory(dir.cp(name));
    // Sized by the highest number, the search would need far more than 64 MB more address space.
    if (::fork() == 0) {
        address_space_room room(64u << 20);
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

// ---- the whole mailbox moved to another directory ----

namespace fs = std::filesystem;
using status = mailbox_move_status;

struct MailboxMoveTree : ::testing::Test {
    MailboxMoveTree() {
        for (const char* name : {"acct/ 受信箱/.1/0", "acct/account.ini", "acct/.hidden", "acct/old/kept"})
            write_bytes(dir / "mailbox/" + name, name);
        write_bytes(dir / "mailbox/acct/large", std::string(300000, '\x95'));  // copied in many pieces
        fs::create_directories(dir / "mailbox/acct/empty");
        fs::permissions(dir / "mailbox/acct/old", fs::perms::owner_read | fs::perms::owner_exec);
        fs::permissions(dir / "mailbox/acct/account.ini", fs::perms::owner_read);
        write_bytes(dir / "outside.txt", "not in the mailbox");
        fs::create_symlink("../../outside.txt", dir / "mailbox/acct/link");
        original = tree_snapshot(dir / "mailbox");
    }
    mailbox_move_result move_to(const std::string& utf8_target) { return move_mailbox(mailbox, sj(utf8_target)); }

    temp_dir dir;
    const std::string mailbox = dir.cp("mailbox/");
    std::map<std::string, std::string> original;
};

// (A move into a new directory is met through the options dialog.)
TEST_F(MailboxMoveTree, AVerifiedCopyKeepsModesAndLinksAndReplacesTheOldTree) {
    fs::create_directory(dir / "new box");  // an existing empty directory takes the tree
    const mailbox_move_result result = move_to(dir / "new box/");
    EXPECT_TRUE(result.status == status::moved && result.use_new_path() && result.message() == 0);
    EXPECT_EQ(tree_snapshot(dir / "new box"), original);
    EXPECT_FALSE(fs::exists(dir / "mailbox"));
    EXPECT_EQ(read_bytes(dir / "outside.txt"), "not in the mailbox");  // the link was not followed
    EXPECT_EQ(rerooted_path(mailbox + "acct/x/", mailbox, "/n/"), "/n/acct/x/");
    EXPECT_EQ(rerooted_path("/elsewhere/", mailbox, "/n/"), "/elsewhere/");
}

// (An open file, and a copy that fails part-way, are met through the options dialog.)
TEST_F(MailboxMoveTree, RefusedMovesTouchNothing) {
    fs::create_directory_symlink(dir / "mailbox", dir / "alias");
    const std::pair<std::string, status> cases[] = {
        {dir / "alias/sub/", status::target_inside},     {dir / "mailbox/acct/../../mailbox/", status::same_directory},
        {dir / "alias/", status::same_directory},         {dir.path(), status::mailbox_inside},
        {dir / "missing/new/", status::failed},
    };
    for (const auto& [target, expected] : cases) {
        EXPECT_EQ(check_mailbox_move(mailbox, sj(target)).status, expected) << target;
        EXPECT_EQ(move_to(target).status, expected) << target;
    }
    EXPECT_EQ(check_mailbox_move(mailbox, sj(dir / "new/")).status, status::moved);  // and makes nothing
    EXPECT_FALSE(fs::exists(dir / "new"));
    EXPECT_EQ(tree_snapshot(dir / "mailbox"), original);

    // What a copy cannot keep: a pipe (a copy would wait on it for ever), a name without a CP932 form.
    for (const char* odd : {"pipe", "☃"}) {
        ASSERT_EQ(::mkfifo((dir / "mailbox/acct/" + odd).c_str(), 0600), 0);
        const auto with_odd = tree_snapshot(dir / "mailbox");
        EXPECT_EQ(move_to(dir / "new/").status, status::unusable_entry) << odd;
        EXPECT_EQ(tree_snapshot(dir / "mailbox"), with_odd);
        EXPECT_FALSE(fs::exists(dir / "new"));
        fs::remove(dir / "mailbox/acct/" + odd);
    }
}

}  // namespace
}  // namespace qm::test
