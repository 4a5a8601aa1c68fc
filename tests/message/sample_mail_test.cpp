#include "message/message_fixture.h"

namespace qm::test {
namespace {

const std::string mail_data = test_data + "mail/";

// Each sample "NAME.eml" in tests/data/mail is filed as exactly the files in "NAME.stored/"; the last part
// is the last stored file, but 0 for a message without a body (its Content- lines still make part "1").
// Besides mail as programs send it, the samples hold the text that moves to part 1 (behind an attached text
// file, or empty without one), content fields in any order, a "--b2" or "--b--x" that is no delimiter, an
// inner multipart that never closes, Ctrl-Z as data, and encoded words that would break a header line.
TEST(SampleMail, StoredFilesAreExactlyTheExpectedOnes) {
    int samples = 0;
    for (const std::string& file : list_names(mail_data)) {
        if (!file.ends_with(".eml")) continue;
        const std::string name = file.substr(0, file.size() - 4), stored = mail_data + name + ".stored/";
        SCOPED_TRACE(name);
        temp_dir dir;
        const int last_part = name == "no_blank_line_after_header" ? 0 : int(list_names(stored).size()) - 1;
        EXPECT_EQ(file_message(read_bytes(mail_data + file), dir / ".0/"), last_part);
        EXPECT_EQ(files_in(dir / ".0/"), files_in(stored));
        ++samples;
    }
    EXPECT_EQ(samples, 34);
}

}  // namespace
}  // namespace qm::test
