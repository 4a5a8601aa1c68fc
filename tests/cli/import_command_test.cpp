#include <csignal>

#include <sys/mount.h>
#include <unistd.h>

#include "cli_runner.h"
#include "platform/file_operations.h"
#include "platform/instance_lock.h"
#include "store/mailbox_layout.h"

namespace qm::test {
namespace {

const std::string plain_crlf = "From: a@example.com\r\nSubject: crlf\r\n\r\nbody\r\n";

class ImportCommand : public cli_test {
protected:
    ImportCommand() : cli_test("import ") {}
};

TEST_F(ImportCommand, FilesMessageFilesAndMboxesIntoANewAccount) {
    write_bytes(tmp / "lf.eml", "From: a@example.com\nSubject: lf\n\nline one\nline two\n");
    write_bytes(tmp / "crlf.eml", plain_crlf);
    write_bytes(tmp / "box",
                "From a@example.com Mon Jan  1 00:00:00 2024\nSubject: one\n\n>From here\n>>From there\n\n\n"
                "From b@example.com Mon Jan  1 00:00:01 2024\r\nSubject: two\r\n\r\nlast\r\n\r\n");
    cli_result r = run_ok("'テスト' " + tmp / "lf.eml" + " --mbox " + tmp / "box " + tmp / "crlf.eml");
    EXPECT_EQ(r.out, "4 messages filed\n");

    const std::string account = home / "mailbox/テスト/";
    EXPECT_EQ(list_names(account), (names{" ごみ箱", " 受信箱", " 送信箱", "account.ini"}));
    // Line ends as a server sends them; the mbox's own lines are gone.
    EXPECT_EQ(read_bytes(account + " 受信箱/.0/raw"), "From: a@example.com\r\nSubject: lf\r\n\r\nline one\r\nline two\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.1/raw"), "Subject: one\r\n\r\nFrom here\r\n>>From there\r\n\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.2/raw"), "Subject: two\r\n\r\nlast\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.3/raw"), plain_crlf);
    EXPECT_EQ(list_names(home / "work"), names{});
}

TEST_F(ImportCommand, AMissingFileIsRefusedBeforeAnythingIsTouched) {
    write_bytes(tmp / "m.eml", plain_crlf);
    run_refused("A " + tmp / "m.eml " + tmp / "missing.eml", "no such file", 2);
    EXPECT_EQ(list_names(home.path()), names{});
}

// The window holds the single-instance lock: nothing is filed, not even its waiting download.
TEST_F(ImportCommand, WhileQuillmereRunsNothingIsFiled) {
    write_bytes(tmp / "m.eml", plain_crlf);
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
    write_bytes(tmp / "m.eml", plain_crlf);
    std::optional<file_size_limit> limit(std::in_place, 64 * 1024, true);  // the program is killed half-way through the copy
    cli_result killed = run("A " + tmp / "big.eml");
    limit.reset();
    EXPECT_EQ(killed.status, 128 + SIGXFSZ);
    cli_result r = run("A " + tmp / "m.eml");
    EXPECT_EQ(r.out, "1 message filed\n") << r.err;
    EXPECT_EQ(list_names(home / "mailbox/A/ 受信箱"), names{".0"});
}

TEST_F(ImportCommand, AMessageThatCannotBeFiledWaitsInTheWorkDirectory) {
    if (::geteuid() != 0) {
        if (in_ci()) FAIL() << "a full disk is simulated with a tmpfs mount, which needs root";
        GTEST_SKIP() << "a full disk is simulated with a tmpfs mount, which needs root";
    }
    const std::string inbox = home / "mailbox/A/ 受信箱";
    ASSERT_TRUE(make_directory(home.cp("mailbox/")) && make_directory(home.cp("mailbox/A/")) &&
                make_special_folders(home.cp("mailbox/A/")));
    ASSERT_EQ(::mount("tmpfs", inbox.c_str(), "tmpfs", 0, "size=64k"), 0);
    const std::string big = "Subject: big\r\n\r\n" + std::string(200 * 1024, 'x') + "\r\n";
    write_bytes(tmp / "big.eml", big);
    write_bytes(tmp / "m.eml", plain_crlf);

    cli_result r = run_refused("A " + tmp / "m.eml " + tmp / "big.eml " + tmp / "m.eml", "1 message could not be filed");
    names filed = list_names(inbox);  // no half-made message beside the two
    ::umount2(inbox.c_str(), MNT_DETACH);
    EXPECT_EQ(filed, (names{".0", ".1"}));
    EXPECT_EQ(r.out, "2 messages filed\n");
    EXPECT_EQ(read_bytes(home / "work/1.pop"), big);  // filed first by the next run, as a receive does
}

}  // namespace
}  // namespace qm::test
