// What every command shares: the mailbox the settings name, one rule for
// account names, the single-instance lock, and no work directory left behind.

#include <sys/stat.h>

#include "cli_runner.h"
#include "platform/instance_lock.h"

namespace qm::test {
namespace {

const std::string message = "From: a@example.com\r\nSubject: filed\r\n\r\nbody\r\n";

class CliStore : public cli_test {
protected:
    CliStore() {
        write_bytes(tmp / "m.eml", message);
        ::mkdir((tmp / "elsewhere").c_str(), 0700);
        working_directory = tmp / "elsewhere";
    }
    bool work_directory_left() const { return exists(tmp / "quillmere.$$$"); }
};

TEST_F(CliStore, EveryCommandFindsTheMailboxTheSettingNames) {
    write_bytes(home / "quillmere.ini", "[string]\r\nmailbox=mail2/\r\n");
    run_ok("import A " + tmp / "m.eml");
    EXPECT_EQ(list_names(home / "mail2"), (names{"A", "標準アカウント"}));
    EXPECT_EQ(read_bytes(home / "mail2/A/ 受信箱/.0/raw"), message);

    cli_result listed = run_ok("list 'A/ 受信箱'");
    EXPECT_TRUE(contains(listed.out, "\tfiled\t")) << listed.out;
    write_bytes(home / "mail2/A/account.ini", "[account]\r\naddress=a@example.com\r\n");
    run_ok("new A --to b@example.com --subject hi --queue");
    EXPECT_EQ(list_names(home / "mail2/A/ 送信箱"), (names{".0", "草稿", "送信控"}));
    cli_result synced = run("sync A");  // the account has no servers: it says so and touches nothing
    EXPECT_EQ(synced.status, 1);
    EXPECT_TRUE(contains(synced.err, "アカウント設定が完了していません.")) << synced.err;

    // Nothing in the default mailbox, in the shell's directory, or left in the work directory.
    EXPECT_FALSE(exists(home / "mailbox"));
    EXPECT_EQ(list_names(tmp / "elsewhere"), names{});
    EXPECT_FALSE(work_directory_left());

    // An empty value is the default mailbox of the data directory, never the file system's root.
    write_bytes(home / "quillmere.ini", "[string]\r\nmailbox=\r\n");
    cli_result root = run("list tmp");
    EXPECT_EQ(root.status, 1);
    EXPECT_TRUE(contains(root.err, "no folder tmp/ in the mailbox " + home.path() + "mailbox/")) << root.err;
}

TEST_F(CliStore, OneNamingRuleForTheAccountsOfEveryCommand) {
    for (const std::string& arguments : {"import 'a*b' " + tmp / "m.eml", std::string("new con --to b@example.com --subject s"),
                                         std::string("sync LPT1")}) {
        cli_result r = run(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_TRUE(contains(r.err, "is not a valid account name")) << arguments << ": " << r.err;
    }
    EXPECT_EQ(list_names(home.path()), names{});
}

TEST_F(CliStore, WhileQuillmereRunsNothingIsChangedButListingWorks) {
    run_ok("import A " + tmp / "m.eml");
    scoped_env runtime("XDG_RUNTIME_DIR", tmp.path().c_str());
    instance_lock window;
    ASSERT_EQ(window.acquire(tmp.cp()), instance_lock::result::acquired);
    write_bytes(tmp / "quillmere.$$$/0.pop", message);  // the window's download, waiting to be filed
    for (const std::string& arguments : {"import A " + tmp / "m.eml",
                                         std::string("new A --to b@example.com --subject s --queue"),
                                         std::string("sync --all")}) {
        cli_result r = run(arguments);
        EXPECT_EQ(r.status, 1) << arguments;
        EXPECT_TRUE(contains(r.err, "Quillmere is running")) << r.err;
        EXPECT_TRUE(contains(r.err, "nothing was changed")) << r.err;
    }
    EXPECT_EQ(list_names(home / "mailbox/A/ 受信箱"), names{".0"});
    EXPECT_EQ(list_names(home / "mailbox/A/ 送信箱"), (names{"草稿", "送信控"}));
    EXPECT_EQ(list_names(tmp / "quillmere.$$$"), names{"0.pop"});
    run_ok("list 'A/ 受信箱'");
    EXPECT_EQ(list_names(tmp / "quillmere.$$$"), names{"0.pop"});
}

}  // namespace
}  // namespace qm::test
