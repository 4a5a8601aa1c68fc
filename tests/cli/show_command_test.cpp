#include "cli_runner.h"

namespace qm::test {
namespace {

const std::string inbox = "'A/ 受信箱'";

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
    EXPECT_TRUE(contains(controls, "差出人: \"^[]0;owned^GMallory\" <m@example.com>\n")) << controls;
    EXPECT_TRUE(contains(controls, "件名: ⚠️^[[2J hi\n")) << controls;
    EXPECT_TRUE(contains(controls, "\nline^[[2J\n")) << controls;
    EXPECT_EQ(run("show " + inbox + " 9").status, 1);
}

}  // namespace
}  // namespace qm::test
