#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file_operations.h"
#include "store/mailbox_layout.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

using names = std::vector<std::string>;

struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs quillmere-cli import with its data directory in `home` and its
// temporary directory in `tmp`.
run_result run_import(const temp_dir& home, const temp_dir& tmp, const std::string& arguments) {
    std::string err_path = tmp / "stderr";
    std::string command = "QUILLMERE_HOME='" + home.path() + "' TMPDIR='" + tmp.path() + "' " +
                          QUILLMERE_BINARY_DIR + "/quillmere-cli import " + arguments + " 2>'" + err_path + "'";
    run_result result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = read_bytes(err_path);
    return result;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string plain_lf = "From: a@example.com\nSubject: lf\n\nline one\nline two\n";
const std::string plain_crlf = "From: a@example.com\r\nSubject: crlf\r\n\r\nbody\r\n";

TEST(ImportCommand, FilesMessageFilesAndMboxesIntoANewAccount) {
    temp_dir home, tmp;
    write_bytes(tmp / "lf.eml", plain_lf);
    write_bytes(tmp / "crlf.eml", plain_crlf);
    write_bytes(tmp / "box",
                "From a@example.com Mon Jan  1 00:00:00 2024\nSubject: one\n\n>From here\n>>From there\n\n\n"
                "From b@example.com Mon Jan  1 00:00:01 2024\r\nSubject: two\r\n\r\nlast\r\n\r\n");
    run_result run = run_import(home, tmp, "'テスト' " + tmp / "lf.eml" + " --mbox " + tmp / "box " + tmp / "crlf.eml");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "4 messages filed\n");
    EXPECT_EQ(run.err, "");

    const std::string account = home / "mailbox/テスト/";
    EXPECT_EQ(list_names(account), (names{" ごみ箱", " 受信箱", " 送信箱"}));
    EXPECT_EQ(list_names(account + " 送信箱"), (names{"草稿", "送信控"}));
    // Line ends as a server sends them; the mbox's own lines are gone.
    EXPECT_EQ(read_bytes(account + " 受信箱/.0/raw"), "From: a@example.com\r\nSubject: lf\r\n\r\nline one\r\nline two\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.1/raw"), "Subject: one\r\n\r\nFrom here\r\n>>From there\r\n\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.2/raw"), "Subject: two\r\n\r\nlast\r\n");
    EXPECT_EQ(read_bytes(account + " 受信箱/.3/raw"), plain_crlf);
    EXPECT_EQ(list_names(tmp / "quillmere.$$$"), names{});

    // Every sample message of the test data is filed.
    std::string samples;
    int sample_count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILLMERE_TEST_DATA) + "/mail", ec)) {
        if (entry.path().extension() != ".eml") continue;
        samples += " '" + entry.path().string() + "'";
        ++sample_count;
    }
    ASSERT_GT(sample_count, 0);
    run = run_import(home, tmp, "samples" + samples);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::to_string(sample_count) + (sample_count == 1 ? " message" : " messages") + " filed\n");
    EXPECT_EQ(list_names(home / "mailbox/samples/ 受信箱").size(), static_cast<std::size_t>(sample_count));
}

TEST(ImportCommand, FollowsTheMailboxAndArrangeAtReceiveSettings) {
    temp_dir home, tmp;
    std::string data = home.path().substr(0, home.path().size() - 1);
    write_bytes(home / "quillmere.ini", "[string]\r\nmailbox=" + data + "\\store\r\n");
    const std::string spam = "Subject: spam offer\r\n\r\nbuy\r\n";
    write_bytes(tmp / "spam.eml", spam);
    write_bytes(tmp / "hello.eml", "Subject: hello\r\n\r\nhi\r\n");

    EXPECT_EQ(run_import(home, tmp, "A " + tmp / "spam.eml").out, "1 message filed\n");
    write_bytes(home / "store/A/ ごみ箱/arrange.lst", "\tSubject:spam\r\n");
    EXPECT_EQ(list_names(home / "store/A/ 受信箱"), names{".0"});  // the setting is off by default

    write_bytes(home / "quillmere.ini",
                "[string]\r\nmailbox=" + data + "\\store\r\n[switch]\r\narrange at receive=+\r\n");
    run_result run = run_import(home, tmp, "A " + tmp / "hello.eml");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(list_names(home / "store/A/ 受信箱"), names{".1"});
    EXPECT_EQ(read_bytes(home / "store/A/ ごみ箱/.0/raw"), spam);
    EXPECT_FALSE(exists(home / "mailbox"));
}

TEST(ImportCommand, RefusesBadArgumentsBeforeTouchingAnything) {
    temp_dir home, tmp;
    write_bytes(tmp / "m.eml", plain_crlf);
    const std::string m = tmp / "m.eml";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "no account given"},
        {"../x " + m, "\"../x\" is not a valid account name"},
        {".hidden " + m, "not a valid account name"},
        {"A", "no message file given"},
        {"A " + tmp / "missing.eml", "no such file"},
        {"A " + m + " " + tmp.path(), "no such file"},
        {"A --mbox " + m, "is not an mbox"},
        {"A --mbox", "--mbox needs a file"},
        {"A --frob " + m, "unknown option"},
    };
    for (const auto& [arguments, message] : cases) {
        run_result run = run_import(home, tmp, arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_TRUE(contains(run.err, message)) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(list_names(home.path()), names{});
}

TEST(ImportCommand, AMessageThatCannotBeFiledWaitsInTheWorkDirectory) {
    if (::geteuid() != 0) {
        if (std::getenv("CI")) FAIL() << "a full disk is simulated with a tmpfs mount, which needs root";
        GTEST_SKIP() << "a full disk is simulated with a tmpfs mount, which needs root";
    }
    temp_dir home, tmp;
    const std::string inbox = home / "mailbox/A/ 受信箱";
    ASSERT_TRUE(make_directory(home.cp("mailbox/")) && make_directory(home.cp("mailbox/A/")) &&
                make_special_folders(home.cp("mailbox/A/")));
    ASSERT_EQ(::mount("tmpfs", inbox.c_str(), "tmpfs", 0, "size=64k"), 0);
    const std::string big = "Subject: big\n\n" + std::string(200 * 1024, 'x') + "\n";
    write_bytes(tmp / "big.eml", big);
    write_bytes(tmp / "m.eml", plain_crlf);

    run_result run = run_import(home, tmp, "A " + tmp / "m.eml " + tmp / "big.eml " + tmp / "m.eml");
    names filed = list_names(inbox);  // no half-made message beside the two
    ::umount2(inbox.c_str(), MNT_DETACH);
    EXPECT_EQ(filed, (names{".0", ".1"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "2 messages filed\n");
    EXPECT_TRUE(contains(run.err, "エラー: 受信メールの取込処理に問題がありました.")) << run.err;
    EXPECT_TRUE(contains(run.err, "1 message could not be filed; the download files stay in " + tmp.path() +
                                      "quillmere.$$$/: 1.pop"))
        << run.err;
    EXPECT_EQ(read_bytes(tmp / "quillmere.$$$/1.pop"), "Subject: big\r\n\r\n" + std::string(200 * 1024, 'x') + "\r\n");

    // The next import files the waiting message first and numbers the new
    // one after it.
    run = run_import(home, tmp, "A " + tmp / "m.eml");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "2 messages filed\n");
    EXPECT_EQ(read_bytes(inbox + "/.0/raw").size(), big.size() + 3);
    EXPECT_EQ(read_bytes(inbox + "/.1/raw"), plain_crlf);
}

}  // namespace
}  // namespace qm
