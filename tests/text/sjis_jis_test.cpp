#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

#include "platform/cp932.h"
#include "platform/program_context.h"
#include "support/test_support.h"
#include "text/sjis_jis.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

std::string to_jis(std::string_view sjis, std::size_t capacity = 100000) {
    std::string out;
    EXPECT_TRUE(sjis_to_jis(out, capacity, sjis));
    return out;
}

std::string to_sjis(std::string text) {
    jis_to_sjis(text);
    return text;
}

// A context whose temporary directory is `temporary` (a CP932 path ending in "/").
void use_temporary_directory(const std::string& temporary) {
    program_context context;
    context.temporary_directory = temporary;
    set_context(context);
}

TEST(SjisToJis, EscapeSequencesAreExact) {
    EXPECT_EQ(to_jis("plain ASCII\n"), "plain ASCII\n");
    EXPECT_EQ(to_jis("\x93\xfa\x96\x7b" "a"), "\x1b$BF|K\\\x1b(Ba");
    EXPECT_EQ(to_jis("\xb1"), "\x1b(I1\x1b(B");
    // Kanji straight into katakana, and a line that ends in kanji.
    EXPECT_EQ(to_jis("\x93\xfa\xb1\xb2\n"), "\x1b$BF|\x1b(I12\x1b(B\n");
    EXPECT_EQ(to_jis("\x81\x20"), "\x1b$B!)\x1b(B");
    // A lead byte at the end, or before a line feed, becomes the
    // replacement alone: the line feed and the end stay where they were.
    EXPECT_EQ(to_jis("a\x93"), "a\x1b$B!)\x1b(B");
    EXPECT_EQ(to_jis("\x93\n" "b"), "\x1b$B!)\x1b(B\nb");
    // User-defined codes have no JIS form.
    EXPECT_EQ(to_jis("\xf0\x40"), "\x1b$B!)\x1b(B");
    // IBM extension codes go out as the same character of JIS X 0208 or
    // the NEC rows: NOT SIGN, BECAUSE, the small roman one and 髙.
    EXPECT_EQ(to_jis("\xfa\x54\xfa\x5b\xfa\x40\xfb\xfc"), "\x1b$B\"L\"h|q|b\x1b(B");
    EXPECT_EQ(to_jis("\xfa\x54\xfa\x5b\xfa\x40\xfb\xfc"), to_jis("\x81\xca\x81\xe6\xee\xef\xee\xe0"));
}

TEST(SjisToJis, CapacityCountsTheTerminatingZero) {
    const std::string input = "\x93\xfa" "a";
    const std::string full = to_jis(input);  // 3 + 2 + 3 + 1 bytes
    ASSERT_EQ(full.size(), 9u);
    for (std::size_t capacity = 0; capacity <= full.size() + 2; ++capacity) {
        std::string out;
        bool ok = sjis_to_jis(out, capacity, input);
        EXPECT_EQ(ok, full.size() + 1 <= capacity) << capacity;
        EXPECT_LT(out.size(), std::max<std::size_t>(capacity, 1));
        EXPECT_EQ(full.compare(0, out.size(), out), 0) << "an incomplete result is the beginning of the whole";
    }
    std::string out = "old";
    EXPECT_TRUE(sjis_to_jis(out, 1, ""));
    EXPECT_EQ(out, "");
}

TEST(JisToSjis, InPlace) {
    EXPECT_EQ(to_sjis("\x1b$BF|K\\\x1b(B"), "\x93\xfa\x96\x7b");
    EXPECT_EQ(to_sjis("\x1b$@F|K\\\x1b(J" "a"), "\x93\xfa\x96\x7b" "a");
    EXPECT_EQ(to_sjis("\x1b$AF|"), "\x1b$AF|");
    EXPECT_EQ(to_sjis("\x1b(I1\x1b(B" "1"), "\xb1" "1");
    // Runs of escapes, escapes at the very end, a lone byte before the end.
    EXPECT_EQ(to_sjis("\x1b$B\x1b(I\x1b$BF|\x1b(B\x1b$B"), "\x93\xfa");
    EXPECT_EQ(to_sjis("a\x1b"), "a\x1b");
    EXPECT_EQ(to_sjis("a\x1b$"), "a\x1b$");
    EXPECT_EQ(to_sjis("\x1b$BF|K"), "\x93\xfa" "K");
    // A JIS code outside the table becomes the full-width question mark.
    EXPECT_EQ(to_sjis("\x1b$B\x7f!\x1b(B"), "\x81\x48");
    // NUL bytes are text like any other.
    EXPECT_EQ(to_sjis(std::string("\x1b$BF|\x1b(B\0\x1b$BK\\", 14)), std::string("\x93\xfa\0\x96\x7b", 5));
    // A line feed (or space) never joins a kanji pair or turns into a
    // katakana code.
    EXPECT_EQ(to_sjis("\x1b$BF|K\n"), "\x93\xfa" "K\n");
    EXPECT_EQ(to_sjis("\x1b$BF| K\\\n"), "\x93\xfa \x96\x7b\n");
    EXPECT_EQ(to_sjis("\x1b(I12\n"), "\xb1\xb2\n");
}

TEST(SjisJis, ArithmeticMappingBothWays) {
    for (unsigned lead = 0x81; lead <= 0xef; ++lead) {
        if (lead >= 0xa0 && lead < 0xe0) continue;
        for (unsigned trail = 0x40; trail <= 0xfc; ++trail) {
            unsigned jis = sjis_code_to_jis(lead * 256 + trail);
            ASSERT_EQ(jis != 0, trail != 0x7f);
            if (jis) {
                ASSERT_EQ(jis_code_to_sjis(jis), lead * 256 + trail);
            }
        }
    }
    // The 47 x 188 codes above are all 94 x 94 JIS codes: both directions are covered.
    for (unsigned code : {0xf040u, 0xfa40u, 0x8120u, 0x81fdu}) EXPECT_EQ(sjis_code_to_jis(code), 0u);
    for (unsigned code : {0x7f21u, 0x2120u, 0x217fu}) EXPECT_EQ(jis_code_to_sjis(code), 0u);
    EXPECT_EQ(jis_code_to_sjis(0x2d21), 0x8740u);
}

// Every character of a row range of CP932, one line per lead byte.
std::string cp932_rows(unsigned first_lead, unsigned last_lead) {
    std::string text;
    for (unsigned lead = first_lead; lead <= last_lead; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xfc; ++trail) {
            std::string c{static_cast<char>(lead), static_cast<char>(trail)};
            if (trail != 0x7f && cp932_to_utf8(c)) text += c;
        }
        text += '\n';
    }
    return text;
}

TEST(SjisJis, EveryRowRoundTrips) {
    std::string halfwidth;
    for (int c = 0xa1; c <= 0xdf; ++c) halfwidth += static_cast<char>(c);
    const std::string same_bytes[] = {
        cp932_rows(0x81, 0x84) + cp932_rows(0x88, 0x9f) + cp932_rows(0xe0, 0xea),  // JIS X 0208
        cp932_rows(0x87, 0x87),                                                    // NEC row 13
        cp932_rows(0xed, 0xee),                                                    // NEC-selected IBM
        halfwidth + "\n" + halfwidth + "\x93\xfa" + halfwidth,
    };
    for (const auto& text : same_bytes) {
        std::string jis = to_jis(text, text.size() * 4 + 4);
        for (unsigned char c : jis) ASSERT_LT(c, 0x80);
        EXPECT_EQ(to_sjis(jis), text);
    }
    // The IBM rows come back as the NEC-selected codes of the same
    // characters: none of them is lost.
    std::string ibm = cp932_rows(0xfa, 0xfc);
    ASSERT_GT(ibm.size(), 700u);
    std::string back = to_sjis(to_jis(ibm, ibm.size() * 4));
    EXPECT_EQ(back.find("\x81\x48"), std::string::npos);
    EXPECT_EQ(test::u8(back), test::u8(ibm));
}

TEST(SjisJis, GarbageNeverBreaksTheRules) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 40, '\0');
        const std::string_view alphabet = "\x1b$(BI@J\x81\xfa\n!F|";
        for (auto& b : bytes) b = static_cast<char>(round % 2 ? random() % 256 : alphabet[random() % alphabet.size()]);
        std::string jis;
        std::size_t capacity = random() % 200;
        if (sjis_to_jis(jis, capacity, bytes)) {
            for (unsigned char c : jis) ASSERT_LT(c, 0x80);
            ASSERT_LT(jis.size(), capacity);
        }
        std::string text = bytes;
        jis_to_sjis(text);
        ASSERT_LE(text.size(), bytes.size());
    }
}

class FileJisToSjis : public ::testing::Test {
protected:
    void SetUp() override { use_temporary_directory(dir.cp("tmp/")); write_bytes(dir / "tmp/.keep", ""); }
    // Nothing is left behind in the temporary directory or beside the file.
    void expect_clean() {
        EXPECT_EQ(list_names(dir / "tmp"), std::vector<std::string>{".keep"});
    }
    temp_dir dir;
};

TEST_F(FileJisToSjis, ConvertsLinesAndKeepsPermissions) {
    write_bytes(dir / "1", "\x1b$BF|K\\\x1b(B\r\n\x1b$BF|\r\nK\\\x1b(B a\x1b$A\r\n\x1b(I1\x1b(B\r\n\x1a" "after");
    ::chmod((dir / "1").c_str(), 0640);
    ASSERT_TRUE(file_jis_to_sjis(dir.cp("1")));
    // The kanji state goes on over a line end; an unknown escape is dropped
    // whole; Ctrl-Z ends the text.
    EXPECT_EQ(read_bytes(dir / "1"), "\x93\xfa\x96\x7b\r\n\x93\xfa\r\n\x96\x7b a\r\n\xb1\r\n");
    struct stat status;
    ASSERT_EQ(::stat((dir / "1").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "tmp"}));
    expect_clean();
}

TEST_F(FileJisToSjis, EscapeOrPairCutByTheEndLeavesTheFileUntouched) {
    for (std::string cut : {"abc\x1b$", "abc\x1b", "\x1b$BF|K"}) {
        write_bytes(dir / "1", cut);
        EXPECT_FALSE(file_jis_to_sjis(dir.cp("1"))) << cut;
        EXPECT_EQ(read_bytes(dir / "1"), cut);
        expect_clean();
    }
    EXPECT_FALSE(file_jis_to_sjis(dir.cp("missing")));
    // A directory cannot be read as a file.
    write_bytes(dir / "sub/x", "");
    EXPECT_FALSE(file_jis_to_sjis(dir.cp("sub")));
    expect_clean();
}

TEST_F(FileJisToSjis, EscapesAcrossTheReadersBlocks) {
    // The reader reads 4096 bytes first, then 65536 at a time: the same
    // text placed so that every boundary falls inside an escape or a pair.
    for (std::size_t boundary : {4096u, 4096u + 65536u}) {
        for (std::size_t shift = 0; shift < 8; ++shift) {
            std::string head(boundary - shift, 'x');
            write_bytes(dir / "1", head + "\x1b$BF|K\\\x1b(B\x1b(I1\x1b(B\r\n");
            ASSERT_TRUE(file_jis_to_sjis(dir.cp("1")));
            ASSERT_EQ(read_bytes(dir / "1"), head + "\x93\xfa\x96\x7b\xb1\r\n") << boundary << " " << shift;
        }
    }
    expect_clean();
}

TEST_F(FileJisToSjis, NoTemporaryFileNoChange) {
    write_bytes(dir / "1", "\x1b$BF|\x1b(B");
    write_bytes(dir / "plain", "x");
    use_temporary_directory(dir.cp("plain/"));
    EXPECT_FALSE(file_jis_to_sjis(dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), "\x1b$BF|\x1b(B");
}

TEST_F(FileJisToSjis, TemporaryDirectoryOnAnotherFileSystem) {
    // /dev/shm is a memory file system on Linux; the result is then copied
    // beside the file before it takes the file's place.
    test::remove_tree("/dev/shm/qm-charsets-test");
    ASSERT_EQ(::mkdir("/dev/shm/qm-charsets-test", 0700), 0);
    use_temporary_directory("/dev/shm/qm-charsets-test/");
    write_bytes(dir / "1", "\x1b$BF|\x1b(B\r\n");
    ::chmod((dir / "1").c_str(), 0600);
    EXPECT_TRUE(file_jis_to_sjis(dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), "\x93\xfa\r\n");
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "tmp"}));
    EXPECT_TRUE(list_names("/dev/shm/qm-charsets-test").empty());
    test::remove_tree("/dev/shm/qm-charsets-test");
}

}  // namespace
}  // namespace qm
