#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include <sys/wait.h>

#include "support/test_support.h"

namespace qm {
namespace {

using test::read_bytes;
using test::sj;
using test::temp_dir;
using test::write_bytes;

struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs quillmere-cli list with its data directory in `home`, in UTC.
run_result run_list(const temp_dir& home, const std::string& arguments) {
    std::string err_path = home / "stderr";
    std::string command = "TZ=UTC0 QUILLMERE_HOME='" + home.path() + "' TMPDIR='" + home.path() + "' " +
                          QUILLMERE_BINARY_DIR + "/quillmere-cli list " + arguments + " 2>'" + err_path + "'";
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

// A folder " 受信箱" of account "A" in `root` with a sub-folder and three
// messages.
void make_folder(const std::string& root) {
    const std::string f = root + "A/ 受信箱/";
    write_bytes(f + "old/.0/0", "");
    write_bytes(f + ".0/0", "From: b@x.example\r\nSubject: tab\there\r\nDate: 1 Mar 2010 10:00:00 +0000\r\n");
    write_bytes(f + ".0/status.ini", "[mail status]\r\ntype=!\r\n");
    write_bytes(f + ".0/1", "\r\n" + sj("検索") + "\r\n");
    write_bytes(f + ".1/0", "From: a@x.example\r\nSubject: ab\x80" + sj("件") + "\r\nMessage-ID: <1@x>\r\n");
    write_bytes(f + ".2/0", "To: c@x.example\r\nSubject: sent\r\nDate: 2 Mar 2010 10:00:00 +0000\r\n");
    write_bytes(f + ".2/status.ini", "[mail status]\r\ntype=S\r\nattachment=+\r\n");
}

const std::string parent_line = "\t\t\t..\t<dir>\t\t\n";
const std::string old_line = "\t\t\told\t<dir>\t\t\n";
const std::string line0 = "!   \t10. 3. 1 10:00\tb@x.example\ttab here\t79\t\t0\n";
const std::string line1 = "    \t??. ?. ? ??:??\ta@x.example\tab?件\t54\t<1@x>\t1\n";
const std::string line2 = "S@  \t10. 3. 2 10:00\tc@x.example\tsent\t65\t\t2\n";

TEST(ListCommand, PrintsTheSortedRowsAsTabSeparatedUtf8) {
    temp_dir home;
    make_folder(home / "mailbox/");
    const std::string folders = parent_line + old_line;
    // Arguments, layout.ini, output: the layout's order holds unless the
    // arguments give one; a column it does not know counts as the date.
    for (auto [arguments, layout, out] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"'A/ 受信箱'", "", folders + line0 + line2 + line1},
             {"'A/ 受信箱/' --descending", "", folders + line1 + line2 + line0},
             {"--sort 4 'A/ 受信箱'", "", folders + line1 + line2 + line0},
             {"'A/ 受信箱' --search '検索'", "", folders + "!   *" + line0.substr(4) + line2 + line1},
             {"'A/ 受信箱'", "[value]\r\nsort column=3\r\n[switch]\r\nsort direction=+\r\n", folders + line0 + line2 + line1},
             {"'A/ 受信箱'", "[value]\r\nsort column=8\r\n", folders + line0 + line2 + line1},
             {"A", "", "\t\t\t 受信箱\t<dir>\t\t\n"}}) {
        write_bytes(home / "layout.ini", layout);
        run_result run = run_list(home, arguments);
        EXPECT_EQ(run.status, 0) << arguments << run.err;
        EXPECT_EQ(run.out, out) << arguments << " / " << layout;
    }
    // The mailbox setting moves the root; backslashes read as slashes.
    write_bytes(home / "quillmere.ini", "[string]\r\nmailbox=" + home.path() + "\\store\r\n");
    make_folder(home / "store/");
    write_bytes(home / "store/A/ 受信箱/.0/0", "");
    EXPECT_EQ(run_list(home, "'A/ 受信箱' --sort 3").out,
              folders + "!   \t??. ?. ? ??:??\t???\t???\t8\t\t0\n" + line1 + line2);
}

TEST(ListCommand, RefusesBadArgumentsAndMissingFolders) {
    temp_dir home;
    make_folder(home / "mailbox/");
    for (const char* arguments : {"", "--sort", "'A/ 受信箱' --sort 6", "'A/ 受信箱' --bogus", "A B", "..", "'A/.0'",
                                  "'A//x'", "A --search '😀'", "'😀'", "A --search"}) {
        run_result run = run_list(home, arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_NE(run.err.find("Usage: quillmere-cli list"), std::string::npos) << arguments;
    }
    run_result run = run_list(home, "'A/ 送信箱'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no folder A/ 送信箱/"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace qm
