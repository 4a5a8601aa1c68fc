#include "cli_runner.h"

namespace qm::test {
namespace {

const std::string mail_data = std::string(QUILLMERE_TEST_DATA) + "/mail/";
const std::string inbox = "'A/ 受信箱'";

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
