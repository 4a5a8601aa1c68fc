// The notepad's files without a window: what is read, what a save writes,
// and that the file stays held open across a save.

#include "notepad/text_document.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "store/draft_in_use.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

struct opened {
    document_opening outcome;
    text_document document;
    held_file hold;
};

opened open(const std::string& cp932_path) {
    opened result;
    result.outcome = open_text_document(cp932_path, result.document, result.hold);
    return result;
}

TEST(TextDocument, ReadsCp932InTextModeAndOpensOnlyARegularFileThatIsThere) {
    temp_dir dir;
    write_bytes(dir / "下書き.txt", sj("件名\r\n本文\r行\r\n") + "\x1a" + "after");
    write_bytes(dir / "plain.txt", sj("一行\r\n") + "\x1a");
    opened file = open(dir.cp("下書き.txt"));
    ASSERT_EQ(file.outcome, document_opening::ok);
    // CR LF becomes LF, a lone CR stays, a Ctrl-Z ends the text.
    EXPECT_EQ(u8(file.document.text), "件名\n本文\r行\n");
    EXPECT_TRUE(file.document.text_after_end);
    // A Ctrl-Z as the very last byte ends the file and hides nothing.
    EXPECT_FALSE(open(dir.cp("plain.txt")).document.text_after_end);

    ::mkfifo((dir / "pipe").c_str(), 0600);
    ::mkdir((dir / "folder").c_str(), 0700);
    ::symlink((dir / "gone").c_str(), (dir / "dangling").c_str());
    for (auto [name, expected] : {std::pair{"dangling", document_opening::missing}, {"plain.txt/below", document_opening::missing},
                                  {"folder", document_opening::unreadable}, {"pipe", document_opening::unreadable}}) {
        opened refused = open(dir.cp(name));
        EXPECT_EQ(refused.outcome, expected) << name;
        EXPECT_FALSE(refused.hold.is_held()) << name;
    }
}

// A copy of a mail with characters CP932 lacks is UTF-8 and says so with its first bytes; it reads as
// UTF-8 and a save writes it back the same way, whole, in the file's mode, and holds the new file. A
// save that cannot write leaves the file and the hold as they were.
TEST(TextDocument, AMarkedUtf8TextSavesWholeAsUtf8AndHoldsTheNewFile) {
    temp_dir dir;
    const std::string file = dir / "1";
    write_bytes(file, "\xEF\xBB\xBF" "件名: café 🎉\r\n\r\n안녕\r\n");
    ::chmod(file.c_str(), 0640);
    opened copy = open(dir.cp("1"));
    ASSERT_EQ(copy.outcome, document_opening::ok);
    EXPECT_TRUE(copy.document.utf8);
    EXPECT_EQ(copy.document.text, "件名: café 🎉\n\n안녕\n");

    const std::string saved = "\xEF\xBB\xBF" "ü 🍣\r\n二行目";
    ASSERT_TRUE(save_text_document(copy.document.path, "ü 🍣\n二行目", copy.hold, true));
    EXPECT_EQ(read_bytes(file), saved);
    EXPECT_EQ(mode_of(file), 0640u);
    EXPECT_EQ(list_names(dir.path()), names{"1"});  // no companion left
    // The descriptor held now is the new file's, not the replaced one's.
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));

    ::mkdir((dir / "1.$$$").c_str(), 0700);
    EXPECT_FALSE(save_text_document(copy.document.path, "lost", copy.hold, true));
    EXPECT_EQ(read_bytes(file), saved);
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));
}

}  // namespace
}  // namespace qm::test
