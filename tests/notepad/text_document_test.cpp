// The notepad's files without a window: what is read, what a save writes,
// and that the file stays held open across a save.

#include "notepad/text_document.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    {
        opened file = open(dir.cp("下書き.txt"));
        ASSERT_EQ(file.outcome, document_opening::ok);
        // CR LF becomes LF, a lone CR stays, a Ctrl-Z ends the text.
        EXPECT_EQ(u8(file.document.text), "件名\n本文\r行\n");
        EXPECT_TRUE(file.document.text_after_end);
        EXPECT_TRUE(is_file_open_elsewhere(dir.cp("下書き.txt")));
    }
    EXPECT_FALSE(is_file_open_elsewhere(dir.cp("下書き.txt")));
    // A Ctrl-Z as the very last byte ends the file and hides nothing.
    EXPECT_FALSE(open(dir.cp("plain.txt")).document.text_after_end);

    ::mkfifo((dir / "pipe").c_str(), 0600);
    ::mkdir((dir / "folder").c_str(), 0700);
    ::symlink((dir / "gone").c_str(), (dir / "dangling").c_str());
    for (auto [name, expected] : {std::pair{"gone", document_opening::missing}, {"dangling", document_opening::missing},
                                  {"plain.txt/below", document_opening::missing}, {"folder", document_opening::unreadable},
                                  {"pipe", document_opening::unreadable}}) {
        opened file = open(dir.cp(name));
        EXPECT_EQ(file.outcome, expected) << name;
        EXPECT_FALSE(file.hold.is_held()) << name;
    }
    EXPECT_EQ(list_names(dir.path()), (names{"dangling", "folder", "pipe", "plain.txt", "下書き.txt"}));  // nothing created
}

TEST(TextDocument, SavingWritesCrLfWholeAndHoldsTheNewFile) {
    temp_dir dir;
    const std::string file = dir / "1";
    write_bytes(file, sj("古い本文\r\n"));
    ::chmod(file.c_str(), 0640);
    opened draft = open(dir.cp("1"));
    ASSERT_EQ(draft.outcome, document_opening::ok);

    ASSERT_TRUE(save_text_document(draft.document.path, sj("新しい本文\n二行目"), draft.hold));
    EXPECT_EQ(read_bytes(file), sj("新しい本文\r\n二行目"));
    EXPECT_EQ(mode_of(file), 0640u);
    EXPECT_EQ(list_names(dir.path()), names{"1"});  // no companion left
    // The descriptor held now is the new file's, not the replaced one's.
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));
    draft.hold.release();
    EXPECT_FALSE(is_file_open_elsewhere(dir.cp("1")));

    // A save that cannot write leaves the file and the hold as they were.
    ASSERT_TRUE(draft.hold.hold(dir.cp("1")));
    ::mkdir((dir / "1.$$$").c_str(), 0700);
    EXPECT_FALSE(save_text_document(draft.document.path, "lost", draft.hold));
    EXPECT_EQ(read_bytes(file), sj("新しい本文\r\n二行目"));
    EXPECT_TRUE(is_file_open_elsewhere(dir.cp("1")));
}

// A copy of a mail with characters CP932 lacks is UTF-8 and says so with its first bytes; it reads as
// UTF-8 and a save writes it back the same way.
TEST(TextDocument, AMarkedUtf8TextReadsAndSavesAsUtf8) {
    temp_dir dir;
    write_bytes(dir / "qlm_0001.TXT", "\xEF\xBB\xBF" "件名: café 🎉\r\n\r\n안녕\r\n");
    opened copy = open(dir.cp("qlm_0001.TXT"));
    ASSERT_EQ(copy.outcome, document_opening::ok);
    EXPECT_TRUE(copy.document.utf8);
    EXPECT_EQ(copy.document.text, "件名: café 🎉\n\n안녕\n");
    ASSERT_TRUE(save_text_document(copy.document.path, "ü 🍣\n", copy.hold, true));
    EXPECT_EQ(read_bytes(dir / "qlm_0001.TXT"), "\xEF\xBB\xBF" "ü 🍣\r\n");
    EXPECT_FALSE(open(dir.cp("qlm_0001.TXT")).document.text.starts_with("\xEF"));
}

TEST(TextDocument, ALinkIsFollowedAndStaysALink) {
    temp_dir dir;
    write_bytes(dir / "target.txt", "old\r\n");
    ::symlink("target.txt", (dir / "link.txt").c_str());
    opened linked = open(dir.cp("link.txt"));
    ASSERT_EQ(linked.outcome, document_opening::ok);
    EXPECT_EQ(linked.document.path, dir.cp("target.txt"));
    ASSERT_TRUE(save_text_document(linked.document.path, "new\n", linked.hold));
    EXPECT_EQ(read_bytes(dir / "link.txt"), "new\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
}

}  // namespace
}  // namespace qm::test
