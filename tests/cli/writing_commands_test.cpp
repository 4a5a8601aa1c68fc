// The commands that put mail into the mailbox from a shell: import and new.

#include <sys/mount.h>
#include <unistd.h>

#include <csignal>
#include <regex>

#include "cli_runner.h"
#include "config/signatures.h"
#include "platform/file_operations.h"
#include "platform/instance_lock.h"
#include "store/mailbox_layout.h"
#include "support/recording_program.h"

namespace qm::test {
namespace {

const std::string plain_crlf = "From: a@example.com\r\nSubject: crlf\r\n\r\nbody\r\n";

// The command, and a message in CR LF to import.
class ImportCommand : public cli_test {
protected:
    ImportCommand() : cli_test("import ") { write_bytes(tmp / "m.eml", plain_crlf); }
};

TEST_F(ImportCommand, FilesMessageFilesAndMboxesIntoANewAccount) {
    write_bytes(tmp / "lf.eml", "From: a@example.com\nSubject: lf\n\nline one\nline two\n");
    write_bytes(tmp / "box", "From a@example.com Mon Jan  1 00:00:00 2024\nSubject: one\n\n>From here\n>>From there\n\n\n"
                             "From b@example.com Mon Jan  1 00:00:01 2024\r\nSubject: two\r\n\r\nlast\r\n\r\n");
    EXPECT_EQ(run_ok("'テスト' " + tmp / "lf.eml" + " --mbox " + tmp / "box " + tmp / "m.eml").out, "4 messages filed\n");

    const std::string account = home / "mailbox/テスト/";
    EXPECT_EQ(list_names(account), (names{" ごみ箱", " 受信箱", " 送信箱", "account.ini"}));
    // Line ends as a server sends them; the mbox's own lines are gone.
    EXPECT_EQ(read_bytes(account + " 受信箱/.0/raw"), "From: a@example.com\r\nSubject: lf\r\n\r\nline one\r\nline two\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.1/raw"), "Subject: one\r\n\r\nFrom here\r\n>>From there\r\n\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.2/raw"), "Subject: two\r\n\r\nlast\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.3/raw"), plain_crlf);
    EXPECT_EQ(list_names(home / "work"), names{});
}

// A missing file is refused before anything is touched; while the window holds the single-instance lock,
// nothing is filed, not even its waiting download.
TEST_F(ImportCommand, AMissingFileOrARunningQuillmereIsRefusedAndNothingIsTouched) {
    run_refused("A " + tmp / "m.eml " + tmp / "missing.eml", "no such file", 2);
    EXPECT_EQ(list_names(home.path()), names{});
    scoped_env runtime("XDG_RUNTIME_DIR", tmp.path().c_str());
    instance_lock window;
    ASSERT_EQ(window.acquire(tmp.cp()), instance_lock::result::acquired);
    write_bytes(home / "work/0.pop", plain_crlf);
    run_refused("A " + tmp / "m.eml", "Quillmere is running");
    EXPECT_FALSE(exists(home / "mailbox"));
    EXPECT_EQ(list_names(home / "work"), names{"0.pop"});
}

TEST_F(ImportCommand, ARunKilledWhileCopyingLeavesNoCutMessageBehind) {
    write_bytes(tmp / "big.eml", "Subject: big\n\n" + std::string(200 * 1024, 'x') + "\n");
    {
        file_size_limit limit(64 * 1024, true);  // the program is killed half-way through the copy
        EXPECT_EQ(run("A " + tmp / "big.eml").status, 128 + SIGXFSZ);
    }
    EXPECT_EQ(run_ok("A " + tmp / "m.eml").out, "1 message filed\n");
    EXPECT_EQ(list_names(home / "mailbox/A/ 受信箱"), names{".0"});
}

TEST_F(ImportCommand, AMessageThatCannotBeFiledWaitsInTheWorkDirectory) {
    if (::geteuid() != 0 && in_ci()) FAIL() << "a full disk is simulated with a tmpfs mount, which needs root";
    if (::geteuid() != 0) GTEST_SKIP() << "a full disk is simulated with a tmpfs mount, which needs root";
    const std::string inbox = home / "mailbox/A/ 受信箱";
    ASSERT_TRUE(make_directory(home.cp("mailbox/")) && make_directory(home.cp("mailbox/A/")) &&
                make_special_folders(home.cp("mailbox/A/")));
    ASSERT_EQ(::mount("tmpfs", inbox.c_str(), "tmpfs", 0, "size=64k"), 0);
    const std::string big = "Subject: big\r\n\r\n" + std::string(200 * 1024, 'x') + "\r\n";
    write_bytes(tmp / "big.eml", big);
    cli_result r = run_refused("A " + tmp / "m.eml " + tmp / "big.eml " + tmp / "m.eml", "1 message could not be filed");
    names filed = list_names(inbox);  // no half-made message beside the two
    ::umount2(inbox.c_str(), MNT_DETACH);
    EXPECT_EQ(filed, (names{".0", ".1"}));
    EXPECT_EQ(r.out, "2 messages filed\n");
    EXPECT_EQ(read_bytes(home / "work/1.pop"), big);  // filed first by the next run, as a receive does
}

// Account "A" in a data directory whose text editor records its arguments.
class NewCommand : public cli_test {
protected:
    NewCommand() : cli_test("new ") {
        write_bytes(home / "mailbox/A/account.ini", "[account]\r\nname=Taro\r\naddress=taro@example.jp\r\n");
        EXPECT_TRUE(make_special_folders(home.cp("mailbox/A/")) &&
                    save_signature(home.cp("mailbox/A/"), "sig", "-- \nTaro"));
        write_bytes(home / "quillmere.ini", "[string]\r\ntext editor=" + editor.path() + "\r\n");
    }
    recording_program editor{home / "editor", home / "editor.log"};
};

TEST_F(NewCommand, QueuesTheDraftInTheOutboxOrOpensItInTheEditor) {
    write_bytes(home / "body.txt", "\xEF\xBB\xBFこんにちは\r\n二行目");
    EXPECT_EQ(run_ok("A --to b@example.com --subject '件名' --signature sig --body '" + home / "body.txt" + "' --queue").out,
              "A/ 送信箱\t0\n");
    const std::string draft = home / "mailbox/A/ 送信箱/.0/";
    EXPECT_TRUE(std::regex_match(read_bytes(draft + "0"),
                                 std::regex("Date: .*\r\nFrom: \"Taro\" <taro@example.jp>\r\nSubject: " + sj("件名") +
                                            "\r\nTo: b@example.com\r\n")));
    EXPECT_EQ(read_bytes(draft + "1"), sj("こんにちは\r\n二行目\r\n\r\n-- \r\nTaro\r\n"));
    EXPECT_FALSE(exists(home / "editor.log"));

    // Without --queue the draft opens in the text editor (numbered 0: the queued one left the drafts).
    EXPECT_EQ(run_ok("A --to b@example.com --subject s").out, "A/ 送信箱/草稿\t0\n");
    EXPECT_EQ(editor.wait_for_runs(1), std::vector<names>{{home / "mailbox/A/ 送信箱/草稿/.0/1"}});
}

TEST_F(NewCommand, RefusesABadAddressAndMakesNoDraft) {
    run_refused("A --to 'not an address' --subject s", "無効なメールアドレスです.");
    EXPECT_EQ(list_names(home / "mailbox/A/ 送信箱/草稿/"), names{});
}

}  // namespace
}  // namespace qm::test
