#include <sys/stat.h>

#include <filesystem>

#include "store/mailbox_move.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

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
