#include <sys/stat.h>

#include <random>

#include "platform/cp932.h"
#include "text/ascii_text.h"
#include "text/charset_conversion.h"
#include "text/halfwidth_kana.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"
#include "text_test.h"

namespace qm {
namespace {

using namespace test;

std::string to_jis(std::string_view sjis, std::size_t capacity = 100000) {
    std::string out;
    EXPECT_TRUE(sjis_to_jis(out, capacity, sjis));
    return out;
}

std::string to_sjis(std::string jis) { return applied(jis_to_sjis, std::move(jis)); }

TEST(SjisToJis, EscapeSequencesAreExact) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain ASCII\n", "plain ASCII\n"},
        {"\x93\xfa\x96\x7b" "a", "\x1b$BF|K\\\x1b(Ba"},
        {"\xb1", "\x1b(I1\x1b(B"},
        {"\x93\xfa\xb1\xb2\n", "\x1b$BF|\x1b(I12\x1b(B\n"},  // kanji straight into katakana
        {"\x81\x20", "\x1b$B!)\x1b(B"},
        // A lead byte at the end, or before a line feed, becomes the
        // replacement alone: the line feed and the end stay where they were.
        {"a\x93", "a\x1b$B!)\x1b(B"},
        {"\x93\n" "b", "\x1b$B!)\x1b(B\nb"},
        {"\xf0\x40", "\x1b$B!)\x1b(B"},  // user-defined codes have no JIS form
        // IBM extension codes go out as the same character of JIS X 0208 or
        // the NEC rows: NOT SIGN, BECAUSE, the small roman one and 髙.
        {"\xfa\x54\xfa\x5b\xfa\x40\xfb\xfc", "\x1b$B\"L\"h|q|b\x1b(B"},
        {"\x81\xca\x81\xe6\xee\xef\xee\xe0", "\x1b$B\"L\"h|q|b\x1b(B"},
    };
    for (const auto& [sjis, jis] : cases) EXPECT_EQ(to_jis(sjis), jis) << u8(sjis);
}

TEST(SjisToJis, CapacityCountsTheTerminatingZero) {
    const std::string input = "\x93\xfa" "a", full = to_jis(input);  // 3 + 2 + 3 + 1 bytes
    ASSERT_EQ(full.size(), 9u);
    for (std::size_t capacity = 0; capacity <= full.size() + 2; ++capacity) {
        std::string out;
        EXPECT_EQ(sjis_to_jis(out, capacity, input), full.size() + 1 <= capacity) << capacity;
        EXPECT_LT(out.size(), std::max<std::size_t>(capacity, 1));
        EXPECT_EQ(full.compare(0, out.size(), out), 0) << "an incomplete result is the beginning of the whole";
    }
    std::string out = "old";
    EXPECT_TRUE(sjis_to_jis(out, 1, ""));
    EXPECT_EQ(out, "");
}

TEST(JisToSjis, InPlace) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b$BF|K\\\x1b(B", "\x93\xfa\x96\x7b"},
        {"\x1b$@F|K\\\x1b(J" "a", "\x93\xfa\x96\x7b" "a"},
        {"\x1b$AF|", "\x1b$AF|"},
        {"\x1b(I1\x1b(B" "1", "\xb1" "1"},
        // Runs of escapes, escapes at the very end, a lone byte before the end.
        {"\x1b$B\x1b(I\x1b$BF|\x1b(B\x1b$B", "\x93\xfa"},
        {"a\x1b", "a\x1b"},
        {"a\x1b$", "a\x1b$"},
        {"\x1b$BF|K", "\x93\xfa" "K"},
        {"\x1b$B\x7f!\x1b(B", q},  // a JIS code outside the table
        {std::string("\x1b$BF|\x1b(B\0\x1b$BK\\", 14), std::string("\x93\xfa\0\x96\x7b", 5)},
        // A line feed (or space) never joins a kanji pair or turns into a katakana code.
        {"\x1b$BF|K\n", "\x93\xfa" "K\n"},
        {"\x1b$BF| K\\\n", "\x93\xfa \x96\x7b\n"},
        {"\x1b(I12\n", "\xb1\xb2\n"},
    };
    for (const auto& [jis, sjis] : cases) EXPECT_EQ(to_sjis(jis), sjis) << jis;
}

TEST(SjisJis, ArithmeticMappingBothWays) {
    // The 47 x 188 codes are all 94 x 94 JIS codes: both directions are covered.
    for (unsigned lead = 0x81; lead <= 0xef; lead += lead == 0x9f ? 0x41 : 1) {
        for (unsigned trail = 0x40; trail <= 0xfc; ++trail) {
            unsigned jis = sjis_code_to_jis(lead * 256 + trail);
            ASSERT_EQ(jis != 0, trail != 0x7f);
            if (jis) { ASSERT_EQ(jis_code_to_sjis(jis), lead * 256 + trail); }
        }
    }
    for (unsigned code : {0xf040u, 0xfa40u, 0x8120u, 0x81fdu}) EXPECT_EQ(sjis_code_to_jis(code), 0u);
    for (unsigned code : {0x7f21u, 0x2120u, 0x217fu}) EXPECT_EQ(jis_code_to_sjis(code), 0u);
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
    std::string halfwidth;
    for (int c = 0xa1; c <= 0xdf; ++c) halfwidth += static_cast<char>(c);
    for (const std::string& text : {
             cp932_rows(0x81, 0x84) + cp932_rows(0x88, 0x9f) + cp932_rows(0xe0, 0xea),  // JIS X 0208
             cp932_rows(0x87, 0x87),                                                    // NEC row 13
             cp932_rows(0xed, 0xee),                                                    // NEC-selected IBM
             halfwidth + "\n" + halfwidth + "\x93\xfa" + halfwidth}) {
        std::string jis = to_jis(text, text.size() * 4 + 4);
        for (unsigned char c : jis) ASSERT_LT(c, 0x80);
        EXPECT_EQ(to_sjis(jis), text);
    }
    // The IBM rows come back as the NEC-selected codes of the same
    // characters: none of them is lost.
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

using FileJisToSjis = temporary_directory_test;

TEST_F(FileJisToSjis, ConvertsLinesAndKeepsPermissions) {
    // The second time the temporary directory is on another file system
    // (memory): the result is then copied beside the file before it takes its place.
    const std::string shm = "/dev/shm/qm-charsets-test/";
    remove_tree(shm);
    ASSERT_EQ(::mkdir(shm.c_str(), 0700), 0);
    for (const std::string& temporary : {dir.cp("tmp/"), shm}) {
        use_temporary_directory(temporary);
        write_bytes(dir / "1", "\x1b$BF|K\\\x1b(B\r\n\x1b$BF|\r\nK\\\x1b(B a\x1b$A\r\n\x1b(I1\x1b(B\r\n\x1a" "after");
        ::chmod((dir / "1").c_str(), 0640);
        ASSERT_TRUE(file_jis_to_sjis(dir.cp("1")));
        // The kanji state goes on over a line end; an unknown escape is dropped whole; Ctrl-Z ends the text.
        EXPECT_EQ(read_bytes(dir / "1"), "\x93\xfa\x96\x7b\r\n\x93\xfa\r\n\x96\x7b a\r\n\xb1\r\n");
        EXPECT_EQ(mode_of(dir / "1"), 0640u);
        EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "tmp"}));
    }
    EXPECT_TRUE(list_names(shm).empty());
    remove_tree(shm);
    expect_clean();
}

TEST_F(FileJisToSjis, FailuresLeaveTheFileUntouched) {
    // An escape or a pair cut by the end of the file.
    for (std::string cut : {"abc\x1b$", "abc\x1b", "\x1b$BF|K"}) {
        write_bytes(dir / "1", cut);
        EXPECT_FALSE(file_jis_to_sjis(dir.cp("1"))) << cut;
        EXPECT_EQ(read_bytes(dir / "1"), cut);
    }
    EXPECT_FALSE(file_jis_to_sjis(dir.cp("missing")));
    write_bytes(dir / "sub/x", "");
    EXPECT_FALSE(file_jis_to_sjis(dir.cp("sub")));
    expect_clean();
    // No temporary file can be made.
    write_bytes(dir / "1", "\x1b$BF|\x1b(B");
    use_temporary_directory(dir.cp("1/"));
    EXPECT_FALSE(file_jis_to_sjis(dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), "\x1b$BF|\x1b(B");
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

TEST(Utf8ToSjis, CharactersInPlaceAndCopied) {
    const std::pair<std::string, std::string> cases[] = {
        {"日本語 text ｶﾅ", sj("日本語 text ｶﾅ")},
        // Two-byte characters CP932 has, and two- and four-byte ones it lacks.
        {"±×÷§°", "\x81\x7d\x81\x7e\x81\x80\x81\x98\x81\x8b"},
        {"café😀あ", "caf" + q + q + "\x82\xa0"},
        {std::string("a\0あ", 5), std::string("a\0\x82\xa0", 4)},
        // Characters Unicode spells twice, NEC and IBM extensions.
        {"\u301c\uff5e", "\x81\x60\x81\x60"}, {"\u2212\uff0d", "\x81\x7c\x81\x7c"},
        {"\u2016\u2225", "\x81\x61\x81\x61"}, {"\u2014\u2015", "\x81\x5c\x81\x5c"},
        {"\u00a2\uffe0", "\x81\x91\x81\x91"}, {"\u00a3\uffe1", "\x81\x92\x81\x92"},
        {"\u00ac\uffe2", "\x81\xca\x81\xca"}, {"①㍉∵", "\x87\x40\x87\x5f\x81\xe6"},
        {"髙ⅰ", "\xfb\xfc\xfa\x40"},
    };
    for (const auto& [utf8, cp932] : cases) {
        EXPECT_EQ(applied(utf8_to_sjis, utf8), cp932) << utf8;
        EXPECT_EQ(utf8_to_sjis_copy(utf8), cp932) << utf8;
    }
}

TEST(Utf8ToSjis, EveryCp932CharacterComesBack) {
    std::string all, utf8;
    for (unsigned code = 0x8140; code <= 0xfcfc; ++code) {
        std::string c{static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
        if (auto u = cp932_to_utf8(c)) all += c, utf8 += *u;
    }
    for (int c = 0xa1; c <= 0xdf; ++c) all += static_cast<char>(c);
    utf8 += *cp932_to_utf8(all.substr(all.size() - 63));
    std::string back = utf8_to_sjis_copy(utf8);
    EXPECT_EQ(back.find(q), back.rfind(q)) << "only 0x8148 itself may be a question mark";
    EXPECT_EQ(cp932_to_utf8(back), utf8);
}

TEST(Utf8ToSjis, InvalidBytesNeverSwallowWhatFollows) {
    // Each byte that is not part of a character is one replacement.
    EXPECT_EQ(utf8_to_sjis_copy("\xe3\x81" "A"), q + q + "A");
    EXPECT_EQ(utf8_to_sjis_copy("\xc0\x80" "a"), q + q + "a");          // overlong
    EXPECT_EQ(utf8_to_sjis_copy("\xe0\x80\xaf" "a"), q + q + q + "a");  // overlong
    EXPECT_EQ(utf8_to_sjis_copy("\xed\xa0\x80" "a"), q + q + q + "a");  // surrogate
    EXPECT_EQ(utf8_to_sjis_copy("\xf4\x90\x80\x80"), q + q + q + q);    // above U+10FFFF
    EXPECT_EQ(utf8_to_sjis_copy("\xff\xfe\xf5"), q + q + q);
    EXPECT_EQ(utf8_to_sjis_copy("あ\xe3"), "\x82\xa0" + q);
    // In place the text never grows: an invalid byte with no room for
    // 0x8148 in front of it becomes "?".
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
        // The same text fed in pieces of any size converts as a whole.
        for (std::size_t size : {1u, 2u, 3u, 5u}) {
            utf8_to_sjis_stream stream;
            std::string pieces;
            for (std::size_t pos = 0; pos < text.size(); pos += size) stream.feed(std::string_view(text).substr(pos, size), pieces);
            stream.finish(pieces);
            ASSERT_EQ(pieces, copy) << size;
        }
    }
}

using FileUtf8ToSjis = temporary_directory_test;

TEST_F(FileUtf8ToSjis, ConvertsByTheLengthOfEachCharacter) {
    // The bytes are kept as they are: CR LF stays, Ctrl-Z is text.
    write_bytes(dir / "body", "café au lait ±\r\n😀あ\x1a\xe3\x81");
    ::chmod((dir / "body").c_str(), 0644);
    ASSERT_TRUE(file_utf8_to_sjis(dir.cp("body")));
    EXPECT_EQ(read_bytes(dir / "body"), "caf" + q + " au lait \x81\x7d\r\n" + q + "\x82\xa0\x1a" + q + q);
    EXPECT_EQ(mode_of(dir / "body"), 0644u);
    EXPECT_FALSE(file_utf8_to_sjis(dir.cp("missing")));
    // Characters across the 65536-byte read blocks.
    for (std::size_t shift = 0; shift < 5; ++shift) {
        std::string head(65536 - shift, 'x');
        write_bytes(dir / "body", head + "😀あé±\n");
        ASSERT_TRUE(file_utf8_to_sjis(dir.cp("body")));
        ASSERT_EQ(read_bytes(dir / "body"), head + q + "\x82\xa0" + q + "\x81\x7d\n") << shift;
    }
    expect_clean();
}

std::string cp932_of(std::string_view charset, std::string_view bytes) {
    auto converted = convert_to_cp932(charset, bytes);
    EXPECT_TRUE(converted.has_value()) << charset;
    return converted.value_or("<unknown charset>");
}

TEST(ConvertToCp932, CharsetsBadBytesAndUnknownNames) {
    // NEC row 13 and both spellings of the wave dash, from EUC-JP.
    EXPECT_EQ(cp932_of("euc-jp", "\xad\xa1\xa1\xc1"), "\x87\x40\x81\x60");
    EXPECT_EQ(cp932_of("ISO-8859-1", "caf\xe9 \xb1\xa7"), "caf" + q + " \x81\x7d\x81\x98");
    EXPECT_EQ(cp932_of("windows-1252", "\x93quoted\x94 \x80"), "\x81\x67quoted\x81\x68 " + q);
    EXPECT_EQ(cp932_of("ks_c_5601-1987", "\xc7\xd1 a"), q + " a");
    EXPECT_EQ(cp932_of("iso-8859-8-i", "\xf9 a"), q + " a");
    EXPECT_EQ(cp932_of("UTF-8", "é①"), q + "\x87\x40");
    EXPECT_EQ(cp932_of("iso-2022-jp", "\x1b$B-!\x1b(I1\x1b(B"), "\x87\x40\xb1");
    // Shift_JIS is read as CP932: NEC row 13, IBM and NEC-selected IBM extensions, a user-defined code.
    const std::string extended = "\x87\x40\xfa\x40\xed\x40\xf0\x40 a";
    for (const char* name : {"Shift_JIS", "SHIFT_JIS", "x-sjis", "windows-31j", "cp932"})
        EXPECT_EQ(u8(cp932_of(name, extended)), u8(extended)) << name;
    // A byte the charset cannot read is one replacement; the rest is kept.
    EXPECT_EQ(cp932_of("EUC-JP", "\xc6\xfc\xff\xc6\xfc"), sj("日") + q + sj("日"));
    EXPECT_EQ(cp932_of("EUC-JP", "a\xc6"), "a" + q);
    // This converter takes a bad shift byte at the end before it says so: nothing is read past it.
    EXPECT_EQ(cp932_of("ISO-2022-CN-EXT", "a\x0e"), "a" + q);
    EXPECT_EQ(cp932_of("Shift_JIS", "\x80" "a\xa0"), q + "a" + q);
    EXPECT_EQ(cp932_of("us-ascii", ""), "");
    for (const char* name : {"x-unknown", "", "UTF-8//IGNORE", "ISO-8859-1//TRANSLIT", "unknown-8bit"})
        EXPECT_FALSE(convert_to_cp932(name, "abc").has_value()) << name;
}

TEST(KanaToFullwidth, EveryHalfwidthCharacter) {
    const std::string fullwidth = sj("。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
                                     "ハヒフヘホマミムメモヤユヨラリルレロワン゛゜");
    ASSERT_EQ(fullwidth.size(), 63u * 2);
    for (int c = 0xa1; c <= 0xdf; ++c)
        EXPECT_EQ(kana_to_fullwidth(std::string(1, static_cast<char>(c))), fullwidth.substr((c - 0xa1) * 2, 2)) << c;
    // The marks are never combined with the katakana before them.
    EXPECT_EQ(kana_to_fullwidth("\xb6\xde"), "\x83\x4a\x81\x4a");
    // Double-byte characters stay whole even when their second byte looks like
    // katakana; bytes without a full-width form stay; so does a lead byte at the end.
    EXPECT_EQ(kana_to_fullwidth(sj("じ漢") + "a\x80\xa0\xfd\xff\x82"), sj("じ漢") + "a\x80\xa0\xfd\xff\x82");
}

using KanaFile = temporary_directory_test;

TEST_F(KanaFile, IsRewrittenAcrossItsPieces) {
    // A pair across the 65536-byte pieces the conversion works in, and a
    // lead byte at the very end.
    for (std::size_t head : {65535u, 65536u}) {
        write_bytes(dir / "0", std::string(head, 'x') + sj("じ") + "\xc3\xbd\xc4\r\n\x1a\xb1");
        ASSERT_TRUE(file_kana_to_fullwidth(dir.cp("0")));
        EXPECT_EQ(read_bytes(dir / "0"), std::string(head, 'x') + sj("じテスト") + "\r\n");
    }
    write_bytes(dir / "1", sj("ｶﾞ") + "\r\n\x82");
    ASSERT_TRUE(file_kana_to_fullwidth(dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), sj("カ゛") + "\r\n\x82");
    EXPECT_FALSE(file_kana_to_fullwidth(dir.cp("missing")));
    expect_clean();
}

TEST(AsciiText, TextAndFiles) {
    EXPECT_TRUE(is_ascii_text(std::string("plain\0\x7f\n", 8)));
    EXPECT_FALSE(is_ascii_text("plain\x80"));
    temp_dir dir;
    write_bytes(dir / "a", std::string(100000, 'a'));
    EXPECT_TRUE(is_ascii_file(dir.cp("a")));
    write_bytes(dir / "b", std::string(100000, 'a') + "\xb1");
    EXPECT_FALSE(is_ascii_file(dir.cp("b")));
    EXPECT_TRUE(is_ascii_file(dir.cp("missing")));
}

}  // namespace
}  // namespace qm
