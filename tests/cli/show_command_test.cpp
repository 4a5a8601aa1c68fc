#include "cli_runner.h"

namespace qm::test {
namespace {

const std::string test_data = std::string(QUILLMERE_TEST_DATA) + "/";
const std::string inbox = "'A/ 受信箱'";

// What a mail is shown as, but for its date line, which depends on the time zone.
std::string without_date(const std::string& document) {
    const std::size_t date = document.find("日付: ");
    return date == std::string::npos ? document : document.substr(0, date) + document.substr(document.find('\n', date) + 1);
}

// `show` prints a mail as the preview shows it, every character as sent and no control character that could
// steer the terminal.
class ShowCommand : public cli_test {};

TEST_F(ShowCommand, MailIsPrintedAsThePreviewShowsItAndNothingSteersTheTerminal) {
    write_bytes(tmp / "controls.eml",
                "From: \"\x1b]0;owned\x07Mallory\" <m@example.com>\r\nSubject: =?UTF-8?B?4pqg77iPG1sySiBoaQ==?=\r\n"
                "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nline\x1b[2J\r\n--b\r\n"
                "Content-Type: text/plain; name=\"a\x07.txt\"\r\n\r\nx\r\n--b--\r\n");
    run_ok("import A " + test_data + "mail/utf8_beyond_cp932.eml " + tmp / "controls.eml");
    EXPECT_EQ(without_date(run_ok("show " + inbox + " 0").out),
              without_date(read_bytes(test_data + "reading/utf8_beyond_cp932.txt")));
    const std::string controls = run_ok("show " + inbox + " 1").out;
    EXPECT_TRUE(contains(controls, "差出人: \"^[]0;owned^GMallory\" <m@example.com>\n")) << controls;
    EXPECT_TRUE(contains(controls, "件名: ⚠️^[[2J hi\n")) << controls;
    EXPECT_TRUE(contains(controls, "\nline^[[2J\n")) << controls;
    const cli_result missing = run("show " + inbox + " 9");
    EXPECT_EQ(missing.status, 1);
}

}  // namespace
}  // namespace qm::test
