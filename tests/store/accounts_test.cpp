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
            "smtp.example.com", "465", true, true, "", "", "boss@example.com", sj("控え"), false};
}

TEST(Accounts, CreationMakesTheFiveFoldersAndAPrivateFileAndDeletionRemovesAll) {
    temp_dir dir;
    std::string mailbox = dir.cp("box/");
    EXPECT_FALSE(create_account(mailbox, "acc", sample()));  // no mailbox yet
    ::mkdir((dir / "box").c_str(), 0700);
    ASSERT_TRUE(create_account(mailbox, sj("仕事"), sample()));
    // (The file's bytes are pinned by the account command's tests, and below against an updated one.)
    EXPECT_EQ(mode_of(dir / "box/仕事/account.ini"), 0600u);
    write_bytes(dir / "box/taken/keep", "x");
    for (const char* title : {"taken", "", "..", "a/b", "nul"}) EXPECT_FALSE(create_account(mailbox, title, {})) << title;
    {   // Every write fails (EFBIG, even for root): no half account stays.
        file_size_limit none(0);
        EXPECT_FALSE(create_account(mailbox, "full", {}));
    }
    EXPECT_EQ(list_accounts(mailbox), (names{"taken", sj("仕事")}));

    ::chmod((dir / "box/仕事/ 送信箱").c_str(), 0555);
    EXPECT_TRUE(delete_account(mailbox, sj("仕事")));
    for (const char* title : {"", ".", "..", "a/../taken"}) EXPECT_FALSE(delete_account(mailbox, title)) << title;
    EXPECT_EQ(list_names(dir / "box"), names{"taken"});
}

TEST(Accounts, ANewTitleKeepsTheMailAndWritesEveryKey) {
    temp_dir dir;
    std::string mailbox = dir.cp();
    ASSERT_TRUE(create_account(mailbox, "old", {}));
    ASSERT_TRUE(create_account(mailbox, "other", sample()));
    write_bytes(dir / "old/ 受信箱/.0/0", "Subject: kept\r\n");
    ::chmod((dir / "old/account.ini").c_str(), 0644);
    EXPECT_FALSE(update_account(mailbox, "old", "other", sample()));  // taken: nothing changes
    ASSERT_TRUE(update_account(mailbox, "old", "new", sample()));
    EXPECT_EQ(read_bytes(dir / "new/ 受信箱/.0/0"), "Subject: kept\r\n");
    // Every key is written as a new account's file has it, and read back; the file stays private.
    EXPECT_EQ(read_bytes(dir / "new/account.ini"), read_bytes(dir / "other/account.ini"));
    EXPECT_EQ(mode_of(dir / "new/account.ini"), 0600u);
    current_account a = load_current_account(mailbox, "new");
    EXPECT_TRUE(a.pop_over_ssl && a.smtp_over_ssl && a.smtp_auth && a.pop_port == 995 && a.smtp_port == 465 &&
                !a.apop && !a.pop_remove && !a.verify_certificate && a.name + a.auto_bcc == sj("山田控え"));
    EXPECT_TRUE(update_account(mailbox, "new", "New", {}));  // case only
    EXPECT_EQ(list_accounts(mailbox), (names{"New", "other"}));
    const std::string saved = read_bytes(dir / "New/account.ini");
    account_values half = sample();
    half.auto_bcc = "a\nb";  // the last but one key cannot be stored: no key is written
    EXPECT_FALSE(update_account(mailbox, "New", "New", half));
    EXPECT_EQ(read_bytes(dir / "New/account.ini"), saved);
}

TEST(Accounts, TheDialogChecksComeInOrder) {
    temp_dir dir;
    write_bytes(dir / "taken/.keep", "");
    const std::tuple<const char*, const char*, const char*, bool, int> cases[] = {
        {"a:b", "x(y)", "bad", true, str::folder_name_rules}, {"nul", "", "a@b.c", true, str::folder_name_rules},
        {"ok", "x(y)", "bad", true, str::invalid_display_name}, {"ok", "Yamada", "bad", true, str::invalid_address},
        {"taken", "Y", "a@b.c", true, str::name_exists},        {"taken", "Y", "a@b.c", false, 0},
        {"Taken", "Y", "a@b.c", true, 0}};
    for (const auto& [title, name, address, is_new, expected] : cases)
        EXPECT_EQ(check_account(dir.cp(), title, name, address, is_new), expected) << title;
}

// Stored as the account dialog does it, read as the jobs do.
std::string through_the_file(const std::string& path, std::string password) {
    scramble_password(password);
    EXPECT_TRUE(profile_write_string(path, "account", "POP password", password, false));
    std::string stored = profile_read_string(path, "account", "POP password", "", 1024);
    unscramble_password(stored);
    return stored;
}

TEST(Passwords, OrdinaryFormAndEveryByteValueThroughTheFile) {
    names forms = {"abc", "", "?ab", "plain"};  // "?ab": typed with the mark; "plain": stored without it
    for (int i = 0; i < 3; ++i) scramble_password(forms[i]);
    unscramble_password(forms[3]);
    EXPECT_EQ(forms, (names{"?\x3e\x3d\x3c", "", "?\x60\x3e\x3d", "plain"}));  // 159 - b
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
    // Through an account file: a typed password that begins with the mark reads back as typed, the longest
    // one whose every byte scrambles to a line feed too; the dialog reads what the file holds whole, so that
    // an untouched password is written again as it was.
    ::mkdir((dir / "box").c_str(), 0700);
    account_values values;
    values.pop_password = "?abc", values.smtp_password = "?";
    scramble_password(values.pop_password);
    scramble_password(values.smtp_password);
    ASSERT_TRUE(create_account(dir.cp("box/"), "acc", values));
    EXPECT_EQ(read_account_password(dir.cp("box/"), "acc", "POP password") +
                  read_account_password(dir.cp("box/"), "acc", "SMTP password"), "?abc?");
    EXPECT_EQ(load_account_values(dir.cp("box/"), "acc").pop_password, "?\x60\x3e\x3d\x3c");
    std::string longest(127, '\x95');
    scramble_password(longest);
    ASSERT_TRUE(profile_write_string(dir.cp("box/acc/account.ini"), "account", "SMTP password", longest, false));
    EXPECT_EQ(read_account_password(dir.cp("box/"), "acc", "SMTP password"), std::string(127, '\x95'));
}

// Ninety-nine accounts (directories only: neither a file nor a link counts), signatures and templates.
TEST(EntryLimits, NinetyNineOfEachKind) {
    temp_dir dir;
    namespace fs = std::filesystem;
    for (int i = 0; i < 98; ++i) fs::create_directories(dir / ("mailbox/account " + std::to_string(i)));
    write_bytes(dir / "mailbox/a file", "");
    fs::create_directory_symlink(dir / "mailbox/account 1", dir / "mailbox/a link");
    EXPECT_EQ(check_new_account(dir.cp("mailbox/")), 0);
    fs::create_directory(dir / "mailbox/account 98");
    EXPECT_EQ(check_new_account(dir.cp("mailbox/")), str::too_many_items);
    auto list = [&](const char* name, int items) {
        std::string text;
        for (int i = 0; i < items; ++i) text += "\titem" + std::to_string(i) + "\r\ntext\r\n";
        write_bytes(dir / "mailbox/account 0/" + name, text);
    };
    const std::string account = dir.cp("mailbox/account 0/");
    EXPECT_EQ(check_new_signature(account), 0);  // no list yet
    list("sign.lst", 98);
    list("templt_h.lst", 99);
    EXPECT_EQ(check_new_signature(account) + check_new_template(account), str::too_many_items);
    list("sign.lst", 99);
    EXPECT_EQ(check_new_signature(account), str::too_many_items);
}

}  // namespace
}  // namespace qm::test
