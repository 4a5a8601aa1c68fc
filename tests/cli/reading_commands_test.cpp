// The commands that read the mailbox from a shell: list, show, parts and save.

#include "cli_runner.h"

namespace qm::test {
namespace {

const std::string mail_data = std::string(QUILLMERE_TEST_DATA) + "/mail/";
const std::string inbox = "'A/ 受信箱'";

const std::string folders = "\t\t\t..\t<dir>\t\t\n\t\t\told\t<dir>\t\t\n";
const std::string line0 = "!   \t10. 3. 1 10:00\tb@x.example\ttab here\t79\t\t0\n";
const std::string line1 = "    \t??. ?. ? ??:??\ta@x.example\tab?件\t54\t<1@x>\t1\n";
const std::string line2 = "S@  \t10. 3. 2 10:00\tc@x.example\tsent\t65\t\t2\n";

// A folder " 受信箱" of account "A" with a sub-folder and three messages.
class ListCommand : public cli_test {
protected:
    ListCommand() : cli_test("list ") {
        const std::string f = home / "mailbox/A/ 受信箱/";
        write_bytes(f + "old/.0/0", "");
        write_bytes(f + ".0/0", "From: b@x.example\r\nSubject: tab\there\r\nDate: 1 Mar 2010 10:00:00 +0000\r\n");
        write_bytes(f + ".0/status.ini", "[mail status]\r\ntype=!\r\n");
        write_bytes(f + ".0/1", "\r\n" + sj("検索") + "\r\n");
        write_bytes(f + ".1/0", "From: a@x.example\r\nSubject: ab\x80" + sj("件") + "\r\nMessage-ID: <1@x>\r\n");
        write_bytes(f + ".2/0", "To: c@x.example\r\nSubject: sent\r\nDate: 2 Mar 2010 10:00:00 +0000\r\n");
        write_bytes(f + ".2/status.ini", "[mail status]\r\ntype=S\r\nattachment=+\r\n");
    }
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

// `show` prints a mail as the preview shows it (the document is the store's, tests/store), and no control
// character that could steer the terminal.
class ShowCommand : public cli_test {};

TEST_F(ShowCommand, MailIsPrintedAsThePreviewShowsItAndNothingSteersTheTerminal) {
    write_bytes(tmp / "controls.eml",
                "From: \"\x1b]0;owned\x07Mallory\" <m@example.com>\r\nSubject: =?UTF-8?B?4pqg77iPG1sySiBoaQ==?=\r\n"
                "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nline\x1b[2J\r\n--b\r\n"
                "Content-Type: text/plain; name=\"a\x07.txt\"\r\n\r\nx\r\n--b--\r\n");
    run_ok("import A " + tmp / "controls.eml");
    const std::string controls = run_ok("show " + inbox + " 0").out;
    for (const char* shown : {"差出人: \"^[]0;owned^GMallory\" <m@example.com>\n", "件名: ⚠️^[[2J hi\n", "\nline^[[2J\n"})
        EXPECT_TRUE(contains(controls, shown)) << controls;
    EXPECT_EQ(run("show " + inbox + " 9").status, 1);
}

// The UTF-8 script that tests/data/mail/utf8_text_attachment.eml carries, with its LF line ends.
const std::string script = "#!/usr/bin/env python3\n# 集計スクリプト 📊\nimport sys\n\nfor line in sys.stdin:\n"
                           "    print(\"✅\", line.rstrip(\"\\n\"))\n";

// Two sample messages filed into account "A" as a receive files them: 0 with a script attached, 1
// with attachments at every level of its multiparts.
class PartsAndSave : public cli_test {
protected:
    PartsAndSave() {
        run_ok("import A " + mail_data + "utf8_text_attachment.eml " + mail_data + "japanese_names_every_level.eml");
    }
    std::string size_of(int message, int part) {
        return std::to_string(read_bytes(home / ("mailbox/A/ 受信箱/." + std::to_string(message) + "/" + std::to_string(part))).size());
    }
};

TEST_F(PartsAndSave, PartsAreListedAndSavedAsTheyWereSent) {
    EXPECT_EQ(run_ok("parts " + inbox + " 0").out, "1\tbody\t\t" + size_of(0, 1) + "\n2\ttext/plain\tsummary.py\t" + size_of(0, 2) + "\n");
    EXPECT_EQ(run_ok("parts " + inbox + "/ 1").out,
              "1\tbody\t\t" + size_of(1, 1) + "\n2\ttext/html\t\t" + size_of(1, 2) + "\n3\ttext/plain\t議事録（三月）.txt\t" +
                  size_of(1, 3) + "\n4\timage/png\t写真 \"本社\".png\t" + size_of(1, 4) +
                  "\n5\tapplication/vnd.openxmlformats-officedocument.spreadsheetml.sheet\t予算表;最終版.xlsx\t" + size_of(1, 5) +
                  "\n6\tapplication/pdf\t地図.pdf\t" + size_of(1, 6) + "\n");

    // The script comes back byte for byte.
    EXPECT_EQ(run_ok("save " + inbox + " 0 2 " + tmp / "summary.py").out, "");
    EXPECT_EQ(read_bytes(tmp / "summary.py"), script);
}

// An existing file is not replaced, and nothing half-written stays beside it.
TEST_F(PartsAndSave, RefusesWhatIsNotThereAndKeepsAnExistingFile) {
    write_bytes(tmp / "summary.py", "mine");
    run_refused("save " + inbox + " 0 2 " + tmp / "summary.py", "summary.py exists already");
    run_refused("save " + inbox + " 0 0 " + tmp / "x", "message 0 has no part 0");
    run_refused("save " + inbox + " 0 2 " + tmp / "missing/x", "part 2 could not be restored into " + tmp / "missing/x");
    EXPECT_FALSE(exists(tmp / "x"));
    EXPECT_EQ(read_bytes(tmp / "summary.py"), "mine");
    for (const std::string& name : list_names(tmp.path())) EXPECT_FALSE(name.ends_with(".tmp")) << name;
}

}  // namespace
}  // namespace qm::test
