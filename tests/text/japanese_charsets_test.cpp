#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <tuple>

#include "platform/cp932.h"
#include "platform/program_context.h"
#include "text/ascii_text.h"
#include "text/charset_conversion.h"
#include "text/halfwidth_kana.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

// Also checks the capacity: it counts the terminating zero, and a result cut short begins the whole.
std::string to_jis(std::string_view sjis, std::size_t capacity = 100000) {
    std::string out, cut = "old";
    EXPECT_TRUE(sjis_to_jis(out, capacity, sjis));
    EXPECT_FALSE(sjis_to_jis(cut, out.size(), sjis));
    EXPECT_LT(cut.size(), std::max<std::size_t>(out.size(), 1));
    EXPECT_EQ(out.compare(0, cut.size(), cut), 0);
    return out;
}

std::string to_sjis(std::string jis) { return applied(jis_to_sjis, std::move(jis)); }

const std::string halfwidth = [] {
    std::string text;
    for (int c = 0xa1; c <= 0xdf; ++c) text += static_cast<char>(c);
    return text;
}();

TEST(SjisToJis, EscapeSequencesAreExact) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain ASCII\n", "plain ASCII\n"}, {"", ""}, {"\x93\xfa\x96\x7b" "a", "\x1b$BF|K\\\x1b(Ba"}, {"\xb1", "\x1b(I1\x1b(B"},
        {"\x93\xfa\xb1\xb2\n", "\x1b$BF|\x1b(I12\x1b(B\n"},  // kanji straight into katakana
        // Codes without a JIS form (user-defined ones too) become the replacement; so does a lead byte
        // at the end or before a line feed, alone: the line feed and the end stay where they were.
        {"\x81\x20\x81\xfd", "\x1b$B!)!)\x1b(B"}, {"\xf0\x40", "\x1b$B!)\x1b(B"},
        {"a\x93", "a\x1b$B!)\x1b(B"}, {"\x93\n" "b", "\x1b$B!)\x1b(B\nb"},
        // IBM extension codes go out as the same JIS X 0208 or NEC character: ¬, ∵, ⅰ and 髙.
        {"\xfa\x54\xfa\x5b\xfa\x40\xfb\xfc", "\x1b$B\"L\"h|q|b\x1b(B"},
        {"\x81\xca\x81\xe6\xee\xef\xee\xe0", "\x1b$B\"L\"h|q|b\x1b(B"},
    };
    for (const auto& [sjis, jis] : cases) EXPECT_EQ(to_jis(sjis), jis) << u8(sjis);
    EXPECT_EQ(to_jis("", 1), "");
}

TEST(JisToSjis, InPlace) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b$BF|K\\\x1b(B", "\x93\xfa\x96\x7b"}, {"\x1b$@F|K\\\x1b(J" "a", "\x93\xfa\x96\x7b" "a"},
        {"\x1b$AF|", "\x1b$AF|"}, {"\x1b(I1\x1b(B" "1", "\xb1" "1"},
        // Runs of escapes, escapes at the very end, a lone byte before the end.
        {"\x1b$B\x1b(I\x1b$BF|\x1b(B\x1b$B", "\x93\xfa"}, {"a\x1b", "a\x1b"}, {"a\x1b$", "a\x1b$"},
        {"\x1b$BF|K", "\x93\xfa" "K"}, {"\x1b$B\x7f!!\x7f\x1b(B", q + q},  // JIS codes outside the table
        {std::string("\x1b$BF|\x1b(B\0\x1b$BK\\", 14), std::string("\x93\xfa\0\x96\x7b", 5)},
        // A line feed (or space) never joins a kanji pair or turns into a katakana code.
        {"\x1b$BF|K\n", "\x93\xfa" "K\n"}, {"\x1b$BF| K\\\n", "\x93\xfa \x96\x7b\n"}, {"\x1b(I12\n", "\xb1\xb2\n"},
    };
    for (const auto& [jis, sjis] : cases) EXPECT_EQ(to_sjis(jis), sjis) << jis;
}

// Every character of a row range of CP932, one line per lead byte.
std::string cp932_rows(unsigned first_lead, unsigned last_lead) {
    std::string text;
    for (unsigned lead = first_lead; lead <= last_lead; ++lead, text += '\n') {
        for (unsigned trail = 0x40; trail <= 0xfc; ++trail) {
            std::string c{static_cast<char>(lead), static_cast<char>(trail)};
            if (trail != 0x7f && cp932_to_utf8(c)) text += c;
        }
    }
    return text;
}

TEST(SjisJis, EveryRowRoundTrips) {
    for (const std::string& text : {
             cp932_rows(0x81, 0x84) + cp932_rows(0x88, 0x9f) + cp932_rows(0xe0, 0xea),  // JIS X 0208
             cp932_rows(0x87, 0x87),                                                    // NEC row 13
             cp932_rows(0xed, 0xee),                                                    // NEC-selected IBM
             halfwidth + "\n" + halfwidth + "\x93\xfa" + halfwidth}) {
        std::string jis = to_jis(text, text.size() * 4 + 4);
        for (unsigned char c : jis) ASSERT_LT(c, 0x80);
        EXPECT_EQ(to_sjis(jis), text);
    }
    // The IBM rows come back as the NEC-selected codes of the same characters.
    std::string ibm = cp932_rows(0xfa, 0xfc);
    ASSERT_GT(ibm.size(), 700u);
    std::string back = to_sjis(to_jis(ibm, ibm.size() * 4));
    EXPECT_EQ(back.find(q), std::string::npos);
    EXPECT_EQ(u8(back), u8(ibm));
}

TEST(SjisJis, GarbageNeverBreaksTheRules) {
    std::mt19937 random(7);
    const std::string_view alphabet = "\x1b$(BI@J\x81\xfa\n!F|";
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 40, '\0'), jis;
        for (auto& b : bytes) b = static_cast<char>(round % 2 ? random() % 256 : alphabet[random() % alphabet.size()]);
        std::size_t capacity = random() % 200;
        if (sjis_to_jis(jis, capacity, bytes)) {
            for (unsigned char c : jis) ASSERT_LT(c, 0x80);
            ASSERT_LT(jis.size(), capacity);
        }
        ASSERT_LE(to_sjis(bytes).size(), bytes.size());
    }
}

TEST(Utf8ToSjis, CharactersInPlaceAndCopied) {
    const std::pair<std::string, std::string> cases[] = {
        {"日本語 text ｶﾅ", sj("日本語 text ｶﾅ")},
        // Two-byte characters CP932 has, and two- and four-byte ones it lacks.
        {"±×÷§°", "\x81\x7d\x81\x7e\x81\x80\x81\x98\x81\x8b"}, {"café😀あ", "caf" + q + q + "\x82\xa0"},
        {std::string("a\0あ", 5), std::string("a\0\x82\xa0", 4)},
        // Characters Unicode spells twice, NEC and IBM extensions.
        {"\u301c\uff5e", "\x81\x60\x81\x60"}, {"\u2212\uff0d", "\x81\x7c\x81\x7c"}, {"\u2016\u2225", "\x81\x61\x81\x61"},
        {"\u2014\u2015", "\x81\x5c\x81\x5c"}, {"\u00a2\uffe0", "\x81\x91\x81\x91"}, {"\u00a3\uffe1", "\x81\x92\x81\x92"},
        {"\u00ac\uffe2", "\x81\xca\x81\xca"}, {"①㍉∵", "\x87\x40\x87\x5f\x81\xe6"}, {"髙ⅰ", "\xfb\xfc\xfa\x40"},
    };
    for (const auto& [utf8, cp932] : cases) {
        EXPECT_EQ(applied(utf8_to_sjis, utf8), cp932) << utf8;
        EXPECT_EQ(utf8_to_sjis_copy(utf8), cp932) << utf8;
    }
}

TEST(Utf8ToSjis, EveryCp932CharacterComesBack) {
    std::string utf8 = *cp932_to_utf8(cp932_rows(0x81, 0x9f) + cp932_rows(0xe0, 0xfc) + halfwidth);
    std::string back = utf8_to_sjis_copy(utf8);
    EXPECT_EQ(back.find(q), back.rfind(q)) << "only 0x8148 itself may be a question mark";
    EXPECT_EQ(cp932_to_utf8(back), utf8);
}

TEST(Utf8ToSjis, InvalidBytesNeverSwallowWhatFollows) {
    // Each byte that is not part of a character is one replacement: a cut
    // character, overlong forms, a surrogate, a value above U+10FFFF.
    const std::pair<std::string, std::string> cases[] = {
        {"\xe3\x81" "A", q + q + "A"}, {"\xc0\x80" "a", q + q + "a"}, {"\xe0\x80\xaf" "a", q + q + q + "a"},
        {"\xed\xa0\x80" "a", q + q + q + "a"}, {"\xf4\x90\x80\x80", q + q + q + q}, {"\xff\xfe\xf5", q + q + q},
        {"あ\xe3", "\x82\xa0" + q},
    };
    for (const auto& [utf8, cp932] : cases) EXPECT_EQ(utf8_to_sjis_copy(utf8), cp932) << utf8;
    // In place the text never grows: an invalid byte with no room for 0x8148 in front of it becomes "?".
    EXPECT_EQ(applied(utf8_to_sjis, "\x80" "abc"), "?abc");
    EXPECT_EQ(applied(utf8_to_sjis, "あ\x80" "b\x80"), "\x82\xa0" + q + "b?");
    EXPECT_EQ(applied(utf8_to_sjis, "\xe3\x81" "A"), "??A");
}

TEST(Utf8ToSjis, RandomBytes) {
    std::mt19937 random(11);
    const std::string parts[] = {"a", "\n", "é", "あ", "😀", "\x80", "\xe3", "\xf0\x9f", "\xc3", "\xed\xa0"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int k = random() % 12; k > 0; --k)
            text += round % 2 ? std::string(1, static_cast<char>(random())) : parts[random() % std::size(parts)];
        std::string copy = utf8_to_sjis_copy(text);
        ASSERT_LE(applied(utf8_to_sjis, text).size(), text.size());
        ASSERT_LE(copy.size(), 2 * text.size());
        ASSERT_TRUE(cp932_to_utf8(copy).has_value());
    }
}

void use_temporary_directory(const std::string& cp932_path) { set_context({"", cp932_path, "", ""}); }

// A directory whose "tmp/" is the program's temporary directory, where the whole-file conversion must
// leave nothing.
class FileConversion : public ::testing::Test {
protected:
    void SetUp() override {
        use_temporary_directory(dir.cp("tmp/"));
        write_bytes(dir / "tmp/.keep", "");
    }
    void expect_clean() const { EXPECT_EQ(list_names(dir / "tmp"), std::vector<std::string>{".keep"}); }
    temp_dir dir;
};

TEST_F(FileConversion, KanaKeepsPermissionsAndLinesOnEitherFileSystem) {
    // The second time the temporary directory is on another file system
    // (memory): the result is then copied beside the file before it takes its place.
    const std::string shm = "/dev/shm/qm-charsets-test/";
    remove_tree(shm);
    ASSERT_EQ(::mkdir(shm.c_str(), 0700), 0);
    for (const std::string& temporary : {dir.cp("tmp/"), shm}) {
        use_temporary_directory(temporary);
        write_bytes(dir / "1", "\xb1\r\n\xb2 a\r\n\x1a" "after");
        ::chmod((dir / "1").c_str(), 0640);
        ASSERT_TRUE(file_kana_to_fullwidth(dir.cp("1")));
        // Ctrl-Z ends the text.
        EXPECT_EQ(read_bytes(dir / "1"), sj("ア\r\nイ a\r\n"));
        EXPECT_EQ(std::filesystem::status(dir / "1").permissions(), std::filesystem::perms(0640));
        EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "tmp"}));
    }
    EXPECT_TRUE(list_names(shm).empty());
    remove_tree(shm);
    expect_clean();
}

TEST_F(FileConversion, FailuresLeaveTheFileUntouched) {
    EXPECT_FALSE(file_kana_to_fullwidth(dir.cp("missing")));
    write_bytes(dir / "sub/x", "");
    EXPECT_FALSE(file_kana_to_fullwidth(dir.cp("sub")));
    expect_clean();
    // No temporary file can be made.
    write_bytes(dir / "1", "\xb1");
    use_temporary_directory(dir.cp("1/"));
    EXPECT_FALSE(file_kana_to_fullwidth(dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), "\xb1");
}

TEST_F(FileConversion, KanaAcrossItsReadBlocks) {
    // The same text placed so that a block boundary falls before each of its bytes.
    auto across = [&](auto convert, std::size_t boundary, const std::string& text, const std::string& converted) {
        for (std::size_t shift = 0; shift < text.size(); ++shift) {
            std::string head(boundary - shift, 'x');
            write_bytes(dir / "1", head + text);
            ASSERT_TRUE(convert(dir.cp("1")));
            ASSERT_EQ(read_bytes(dir / "1"), head + converted) << boundary << " " << shift;
        }
    };
    across(file_kana_to_fullwidth, 65536, sj("じ") + "\xc3\xbd\xc4\r\n\x1a\xb1", sj("じテスト") + "\r\n");
    // The marks stay separate; a lead byte at the very end stays.
    write_bytes(dir / "1", sj("ｶﾞ") + "\r\n\x82");
    ASSERT_TRUE(file_kana_to_fullwidth(dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), sj("カ゛") + "\r\n\x82");
    expect_clean();
}

TEST(ConvertToCp932, CharsetsBadBytesAndUnknownNames) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"euc-jp", "\xad\xa1\xa1\xc1", "\x87\x40\x81\x60"},  // NEC row 13 and both spellings of the wave dash
        {"ISO-8859-1", "caf\xe9 \xb1\xa7", "caf" + q + " \x81\x7d\x81\x98"},
        {"windows-1252", "\x93quoted\x94 \x80", "\x81\x67quoted\x81\x68 " + q},
        {"ks_c_5601-1987", "\xc7\xd1 a", q + " a"}, {"iso-8859-8-i", "\xf9 a", q + " a"}, {"UTF-8", "é①", q + "\x87\x40"},
        {"iso-2022-jp", "\x1b$B-!\x1b(I1\x1b(B", "\x87\x40\xb1"}, {"us-ascii", "", ""},
        // A byte the charset cannot read is one replacement; the rest is kept.
        {"EUC-JP", "\xc6\xfc\xff\xc6\xfc", sj("日") + q + sj("日")}, {"EUC-JP", "a\xc6", "a" + q},
        {"Shift_JIS", "\x80" "a\xa0", q + "a" + q},
        // This converter takes a bad shift byte at the end before it says so: nothing is read past it.
        {"ISO-2022-CN-EXT", "a\x0e", "a" + q},
    };
    for (const auto& [charset, bytes, cp932] : cases) EXPECT_EQ(convert_to_cp932(charset, bytes), cp932) << charset;
    // Shift_JIS is read as CP932: NEC row 13, IBM and NEC-selected IBM extensions, a user-defined code.
    const std::string extended = "\x87\x40\xfa\x40\xed\x40\xf0\x40 a";
    for (const char* name : {"Shift_JIS", "SHIFT_JIS", "x-sjis", "windows-31j", "cp932"})
        EXPECT_EQ(u8(convert_to_cp932(name, extended).value_or("")), u8(extended)) << name;
    for (const char* name : {"x-unknown", "", "UTF-8//IGNORE", "ISO-8859-1//TRANSLIT", "unknown-8bit"})
        EXPECT_FALSE(convert_to_cp932(name, "abc").has_value()) << name;
}

TEST(KanaToFullwidth, EveryHalfwidthCharacter) {
    temp_dir dir;
    auto kana_to_fullwidth = [&](const std::string& text) {
        write_bytes(dir / "1", text);
        EXPECT_TRUE(file_kana_to_fullwidth(dir.cp("1")));
        return read_bytes(dir / "1");
    };
    EXPECT_EQ(u8(kana_to_fullwidth(halfwidth)), "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
                                                 "ハヒフヘホマミムメモヤユヨラリルレロワン゛゜");
    // The marks are never combined; double-byte characters stay whole even when their second byte
    // looks like katakana; bytes without a full-width form stay; so does a lead byte at the end.
    EXPECT_EQ(kana_to_fullwidth(sj("じ漢ｶﾞ") + "a\x80\xa0\xfd\xff\x82"), sj("じ漢カ゛") + "a\x80\xa0\xfd\xff\x82");
}

TEST(AsciiText, EveryByteBelow0x80) {
    EXPECT_TRUE(is_ascii_text(std::string("plain\0\x7f\n", 8)));
    EXPECT_FALSE(is_ascii_text("plain\x80"));
}

}  // namespace
}  // namespace qm::test
