#include "cli_runner.h"

namespace qm::test {
namespace {

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

const std::string folders = "\t\t\t..\t<dir>\t\t\n\t\t\told\t<dir>\t\t\n";
const std::string line0 = "!   \t10. 3. 1 10:00\tb@x.example\ttab here\t79\t\t0\n";
const std::string line1 = "    \t??. ?. ? ??:??\ta@x.example\tab?件\t54\t<1@x>\t1\n";
const std::string line2 = "S@  \t10. 3. 2 10:00\tc@x.example\tsent\t65\t\t2\n";

class ListCommand : public cli_test {
protected:
    ListCommand() : cli_test("list ") { make_folder(home / "mailbox/"); }
};

TEST_F(ListCommand, PrintsTheSortedRowsAsTabSeparatedUtf8AndRefusesAMissingFolder) {
    // Arguments, layout.ini, output: the layout's order holds unless the
    // arguments give one; a column it does not know counts as the date.
    for (auto [arguments, layout, out] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"'A/ 受信箱'", "", folders + line0 + line2 + line1},
             {"'A/ 受信箱/' --descending", "", folders + line1 + line2 + line0},
             {"'A/ 受信箱' --search '検索'", "", folders + "!   *" + line0.substr(4) + line2 + line1},
             {"'A/ 受信箱'", "[value]\r\nsort column=8\r\n", folders + line0 + line2 + line1},
             {"A", "", "\t\t\t 受信箱\t<dir>\t\t\n"}}) {
        write_bytes(home / "layout.ini", layout);
        EXPECT_EQ(run_ok(arguments).out, out) << arguments << " / " << layout;
    }
    run_refused("'A/ 送信箱'", "no folder A/ 送信箱/");
}

}  // namespace
}  // namespace qm::test
