#include <sys/stat.h>

#include <filesystem>

#include "store/accounts.h"
#include "store/entry_limits.h"
#include "config/profile.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

account_values sample() {
    return {sj("山田"), "yamada@example.com", "pop.example.com", "995", true, false, "yamada", "?secret", false,
            "smtp.example.com", "465", true, true, "", "", "boss@example.com", sj("控え"), false,
            false, false, false, false, "", "", "", "", "", "", ""};
}

TEST(Accounts, CreationMakesTheFiveFoldersAndAPrivateFileAndDeletionRemovesAll) {
    temp_dir dir;
    std::string mailbox = dir.cp("box/");
    EXPECT_FALSE(create_account(mailbox, "acc", sample()));  // no mailbox yet
    ::mkdir((dir / "box").c_str(), 0700);
    ASSERT_TRUE(create_account(mailbox, sj("仕事"), sample()));
    // (The file's bytes are pinned by the account command's tests.)
    EXPECT_EQ(mode_of(dir / "box/仕事/account.ini"), 0600u);
    write_bytes(dir / "box/taken/keep", "x");
    for (const char* title : {"taken", "", "..", "a/b", "nul"}) EXPECT_FALSE(create_account(mailbox, title, {})) << title;
    {   // Every write fails (EFBIG, even for root): no half account stays.
        file_size_limit none(0);
        EXPECT_FALSE(create_account(mailbox, "full", {}));
    }
    EXPECT_EQ(list_names(dir / "box"), (names{"taken", "仕事"}));

    ::chmod((dir / "box/仕事/ 送信箱").c_str(), 0555);
    EXPECT_TRUE(delete_account(mailbox, sj("仕事")));
    for (const char* title : {"", ".", "..", "a/../taken"}) EXPECT_FALSE(delete_account(mailbox, title)) << title;
    EXPECT_EQ(list_names(dir / "box"), names{"taken"});
}

// (A title taken, the mail kept under a new title and every key written are met through the account dialog
// and command.)
TEST(Accounts, ACaseOnlyRenameKeepsTheFilePrivateAndAKeyThatCannotBeStoredChangesNothing) {
    temp_dir dir;
    std::string mailbox = dir.cp();
    ASSERT_TRUE(create_account(mailbox, "old", {}));
    ::chmod((dir / "old/account.ini").c_str(), 0644);
    EXPECT_TRUE(update_account(mailbox, "old", "Old", sample()));  // case only
    EXPECT_EQ(list_accounts(mailbox), names{"Old"});
    EXPECT_EQ(mode_of(dir / "Old/account.ini"), 0600u);  // the file stays private
    const std::string saved = read_bytes(dir / "Old/account.ini");
    account_values half = sample();
    half.auto_bcc = "a\nb";  // the last but one key cannot be stored: no key is written
    EXPECT_FALSE(update_account(mailbox, "Old", "Old", half));
    EXPECT_EQ(read_bytes(dir / "Old/account.ini"), saved);
}

// Stored as the account dialog does it, read as the jobs do.
std::string through_the_file(const std::string& path, std::string password) {
    scramble_password(password);
    EXPECT_TRUE(profile_write_string(path, "account", "POP password", password, false));
    std::string stored = profile_read_string(path, "account", "POP password", "", 1024);
    unscramble_password(stored);
    return stored;
}

TEST(Passwords, EveryByteValueThroughTheFile) {
    temp_dir dir;
    std::string path = dir.cp("account.ini");
    for (int b = 1; b < 256; ++b) {
        std::string one(1, static_cast<char>(b)), scrambled = "x" + one;
        scramble_password(scrambled);
        EXPECT_EQ(scrambled.substr(0, 2) == "?\x9f", b == 159 || b == 149 || b == 146 || b == 133) << b;
        EXPECT_EQ(through_the_file(path, one), one) << b;
        EXPECT_EQ(through_the_file(path, "x" + one + "y"), "x" + one + "y") << b;
    }
    // The escaped bytes side by side.
    EXPECT_EQ(through_the_file(path, "!\x9f\x9f\x95\x92\x85\x9f\x85\x85"), "!\x9f\x9f\x95\x92\x85\x9f\x85\x85");
    // The longest password whose every byte scrambles to a line feed reads back whole from an account file.
    ::mkdir((dir / "box").c_str(), 0700);
    ASSERT_TRUE(create_account(dir.cp("box/"), "acc", {}));
    std::string longest(127, '\x95');
    scramble_password(longest);
    ASSERT_TRUE(profile_write_string(dir.cp("box/acc/account.ini"), "account", "SMTP password", longest, false));
    EXPECT_EQ(read_account_password(dir.cp("box/"), "acc", "SMTP password"), std::string(127, '\x95'));
}

}  // namespace
}  // namespace qm::test
