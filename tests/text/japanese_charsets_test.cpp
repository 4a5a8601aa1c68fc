#include <sys/stat.h>

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
    EXPECT_TRUE(sjis_to_jis(out, capacity, sjis) && !sjis_to_jis(cut, out.size(), sjis));
    EXPECT_TRUE(cut.size() < std::max<std::size_t>(out.size(), 1) && out.starts_with(cut)) << cut;
    return out;
}

std::string to_sjis(std::string jis) { return applied(jis_to_sjis, std::move(jis)); }

const std::string halfwidth = [] { std::string text; for (int c = 0xa1; c <= 0xdf; ++c) text += char(c); return text; }();

TEST(SjisToJis, EscapeSequencesAreExact) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\x93\xfa\xb1\xb2\n", "\x1b$BF|\x1b(I12\x1b(B\n"},  // kanji straight into katakana
        // Codes without a JIS form (user-defined ones too) become the replacement; so does a lead byte
        // at the end or before a line feed, alone: the line feed and the end stay where they were.
        {"\x81\x20\x81\xfd", "\x1b$B!)!)\x1b(B"}, {"\xf0\x40", "\x1b$B!)\x1b(B"},
        {"a\x93", "a\x1b$B!)\x1b(B"}, {"\x93\n" "b", "\x1b$B!)\x1b(B\nb"},
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
        {"\x1b$B\x7f!!\x7f\x1b(B", q + q},  // JIS codes outside the table
        {std::string("\x1b$BF|\x1b(B\0\x1b$BK\\", 14), std::string("\x93\xfa\0\x96\x7b", 5)},
        // A line feed (or space) never joins a kanji pair or turns into a katakana code.
        {"\x1b$BF|K\n", "\x93\xfa" "K\n"}, {"\x1b(I12\n", "\xb1\xb2\n"},
    };
    for (const auto& [jis, sjis] : cases) EXPECT_EQ(to_sjis(jis), sjis) << jis;
}

// Every character of a row range of CP932, one line per lead byte.
std::string cp932_rows(unsigned first_lead, unsigned last_lead) {
    std::string text;
    for (unsigned lead = first_lead; lead <= last_lead; ++lead, text += '\n')
        for (unsigned trail = 0x40; trail <= 0xfc; ++trail)
            if (const std::string c{char(lead), char(trail)}; trail != 0x7f && cp932_to_utf8(c)) text += c;
    return text;
}

TEST(SjisJis, EveryRowRoundTrips) {
    // JIS X 0208, NEC row 13, NEC-selected IBM and katakana come back as they were; the IBM rows as the
    // NEC-selected codes of the same characters.
    const std::string ibm = cp932_rows(0xfa, 0xfc);
    for (const std::string& text : {cp932_rows(0x81, 0x84) + cp932_rows(0x87, 0x9f) + cp932_rows(0xe0, 0xee),
                                    halfwidth + "\n" + halfwidth + "\x93\xfa" + halfwidth, ibm}) {
        std::string jis = to_jis(text, text.size() * 4 + 4);
        for (unsigned char c : jis) ASSERT_LT(c, 0x80);
        EXPECT_EQ(u8(to_sjis(jis)), u8(text));
        EXPECT_EQ(to_sjis(jis) == text, text != ibm);
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
        {"\xe3\x81" "A", q + q + "A"}, {"\xe0\x80\xaf" "a", q + q + q + "a"},
        {"\xed\xa0\x80" "a", q + q + q + "a"}, {"\xf4\x90\x80\x80", q + q + q + q}, {"\xff\xfe\xf5", q + q + q},
        {"あ\xe3", "\x82\xa0" + q},
    };
    for (const auto& [utf8, cp932] : cases) EXPECT_EQ(utf8_to_sjis_copy(utf8), cp932) << utf8;
    // In place the text never grows: an invalid byte with no room for 0x8148 in front of it becomes "?".
    for (auto [utf8, cp932] : {std::pair<std::string, std::string>{"\x80" "abc", "?abc"}, {"\xe3\x81" "A", "??A"},
                               {"あ\x80" "b\x80", "\x82\xa0" + q + "b?"}})
        EXPECT_EQ(applied(utf8_to_sjis, utf8), cp932) << utf8;
}

void use_temporary_directory(const std::string& cp932_path) { set_context({"", cp932_path, "", ""}); }

// The directory's "tmp/" is the program's temporary directory, where the whole-file conversion must
// leave nothing; the tests after this one get the program's context back.
TEST(FileConversion, KanaKeepsPermissionsAndLinesAndEveryHalfwidthKanaAcrossTheReadBlocks) {
    const saved_context saved;
    temp_dir dir;
    use_temporary_directory(dir.cp("tmp/"));
    write_bytes(dir / "tmp/.keep", "");
    const auto converted = [&](const std::string& text) {
        write_bytes(dir / "1", text);
        EXPECT_TRUE(file_kana_to_fullwidth(dir.cp("1")));
        return read_bytes(dir / "1");
    };
    write_bytes(dir / "1", "");
    ::chmod((dir / "1").c_str(), 0640);
    EXPECT_EQ(converted("\xb1\r\n\xb2 a\r\n\x1a" "after"), sj("ア\r\nイ a\r\n"));  // Ctrl-Z ends the text
    EXPECT_EQ(std::pair(mode_of(dir / "1"), list_names(dir.path())), std::pair(0640u, names{"1", "tmp"}));
    // Failures leave the file untouched: a missing file, a directory, no temporary file.
    EXPECT_FALSE(file_kana_to_fullwidth(dir.cp("missing")) || file_kana_to_fullwidth(dir.cp("tmp")));
    use_temporary_directory(dir.cp("1/"));
    EXPECT_TRUE(!file_kana_to_fullwidth(dir.cp("1")) && read_bytes(dir / "1") == sj("ア\r\nイ a\r\n"));
    use_temporary_directory(dir.cp("tmp/"));

    EXPECT_EQ(u8(converted(halfwidth)), "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
                                        "ハヒフヘホマミムメモヤユヨラリルレロワン゛゜");
    // The marks are never combined; double-byte characters stay whole even when their second byte
    // looks like katakana; bytes without a full-width form stay; so does a lead byte at the end.
    EXPECT_EQ(converted(sj("じ漢ｶﾞ") + "a\x80\xa0\xfd\xff\x82"), sj("じ漢カ゛") + "a\x80\xa0\xfd\xff\x82");
    // The same text placed so that a block boundary falls before each of its bytes.
    const std::string text = sj("じ") + "\xc3\xbd\xc4\r\n\x1a\xb1";
    for (std::size_t shift = 0; shift < text.size(); ++shift) {
        const std::string head(65536 - shift, 'x');
        ASSERT_EQ(converted(head + text), head + sj("じテスト") + "\r\n") << shift;
    }
    EXPECT_EQ(list_names(dir / "tmp"), names{".keep"});
}

TEST(ConvertToCp932, CharsetsBadBytesAndUnknownNames) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"euc-jp", "\xad\xa1\xa1\xc1", "\x87\x40\x81\x60"},  // NEC row 13 and both spellings of the wave dash
        {"ISO-8859-1", "caf\xe9 \xb1\xa7", "caf" + q + " \x81\x7d\x81\x98"},
        {"windows-1252", "\x93quoted\x94 \x80", "\x81\x67quoted\x81\x68 " + q}, {"UTF-8", "é①", q + "\x87\x40"},
        {"iso-2022-jp", "\x1b$B-!\x1b(I1\x1b(B", "\x87\x40\xb1"}, {"us-ascii", "", ""},
        // Names may hold ".", ":" and "+".
        {"ANSI_X3.4-1968", "a", "a"}, {"ISO_8859-1:1987", "caf", "caf"}, {"UTF-7", "a+MEIwRA-", "a" + sj("あい")},
        // A byte the charset cannot read is one replacement; the rest is kept.
        {"EUC-JP", "\xc6\xfc\xff\xc6\xfc", sj("日") + q + sj("日")}, {"EUC-JP", "a\xc6", "a" + q},
        {"Shift_JIS", "\x80" "a\xa0", q + "a" + q},
    };
    for (const auto& [charset, bytes, cp932] : cases) EXPECT_EQ(convert_to_cp932(charset, bytes), cp932) << charset;
    // Shift_JIS is read as CP932: NEC row 13, IBM and NEC-selected IBM extensions, a user-defined code.
    const std::string extended = "\x87\x40\xfa\x40\xed\x40\xf0\x40 a";
    for (const char* name : {"Shift_JIS", "SHIFT_JIS", "x-sjis", "windows-31j", "cp932"})
        EXPECT_EQ(u8(convert_to_cp932(name, extended).value_or("")), u8(extended)) << name;
    for (const char* name : {"x-unknown", "", "UTF-8//IGNORE", "ISO-8859-1//TRANSLIT", "unknown-8bit"})
        EXPECT_FALSE(convert_to_cp932(name, "abc").has_value()) << name;
}

}  // namespace
}  // namespace qm::test
