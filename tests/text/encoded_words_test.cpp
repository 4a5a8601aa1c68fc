#include <tuple>

#include "text/base64.h"
#include "text/encoded_words.h"
#include "text/sjis_jis.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

constexpr std::size_t line_capacity = 1001;

// The wire form of a CP932 header line; one byte less room (the capacity counts the zero) never fits.
std::string encoded(std::string_view sjis_line, std::size_t capacity = line_capacity) {
    std::string jis, out, cut;
    EXPECT_TRUE(sjis_to_jis(jis, capacity, sjis_line) && encode_header_line(out, capacity, jis));
    EXPECT_FALSE(encode_header_line(cut, out.size(), jis) || encode_header_line(cut, 0, jis));
    return out;
}

std::string header(std::string line) { return applied(decode_header_line, std::move(line)); }

// A word hiding a line break and a zero byte: decoded literally, they would forge a header line or cut this one.
const std::string forged = base64_encode_text(std::string("x\r\nX-quillmere-Status: 1\0!", 26));
const std::string spaced = "x  X-quillmere-Status: 1 !";

TEST(EncodeHeaderLine, ColumnRules) {
    const std::string x31 = "Subject: " + std::string(31, 'x'), tail(70, 'y');
    const std::pair<std::string, std::string> cases[] = {
        // ASCII stays as it is, however long.
        {"Subject: " + std::string(300, 'a') + " b\tc\n", "Subject: " + std::string(300, 'a') + " b\tc\n"},
        // After the first word every blank starts a continuation line.
        {"Subject: Re: " + sj("漢字") + " a b\n", "Subject: Re: =?ISO-2022-JP?B?GyRCNEE7ehsoQg==?=\n  a\n  b\n"},
        // A word that would start past column 40 goes to the next line.
        {x31 + "x" + sj("漢") + "\n", x31 + "x\n =?ISO-2022-JP?B?GyRCNEEbKEI=?=\n"},
        // From column 40 a word still starts on the line; its tail (a kanji and the closing escape) moves on.
        {x31 + sj("亜唖娃阿") + "\n", x31 + "=?ISO-2022-JP?B?GyRCMCEwIjAjGyhC?=\n =?ISO-2022-JP?B?GyRCMCQbKEI=?=\n"},
        // A word ending at column 74 right before the line feed: no fold that would leave a line of white space.
        {x31 + sj("亜唖娃") + "\n", x31 + "=?ISO-2022-JP?B?GyRCMCEwIjAjGyhC?=\n"},
        // Plain text after a word is folded when it reaches column 74.
        {"Subject: " + sj("漢") + tail + "\n",
         "Subject: =?ISO-2022-JP?B?GyRCNEEbKEI=?=" + tail.substr(0, 35) + "\n " + tail.substr(35) + "\n"},
    };
    for (const auto& [line, folded] : cases) EXPECT_EQ(encoded(line), folded) << u8(line);
    // Too long for a wire line, plain text also folds at a blank whose word would pass column 76.
    std::string words;
    for (int i = 0; i < 30; ++i) words += " " + std::string(40, 'w');
    for (std::size_t width : {65u, 66u}) {
        const std::string head = "Subject: " + std::string(width, 'a'), out = encoded(head + " b" + words + "\n", 2000);
        EXPECT_EQ(out.substr(0, out.find('\n')), width == 65 ? head + " b" : head);
    }
}

TEST(DecodeWords, EachFamilyInPlace) {
    // The decoder, the line, the line decoded, and whether the decoder found its words.
    const std::tuple<bool (*)(std::string&), std::string, std::string, bool> cases[] = {
        // A word that stays in kanji gets the way back to ASCII.
        {decode_iso2022jp_b_words, "=?ISO-2022-JP?B?GyRCRnxLXA==?= x", "\x1b$BF|K\\\x1b(B x", true},
        // Blanks between words stay; a decoded prefix is not decoded again.
        {decode_utf8_b_words, "=?UTF-8?B?YQ==?= =?UTF-8?B?Yg==?=\t=?UTF-8?B?PT9VVEYtOD9CP1l3PT0/PQ==?=",
         "a b\t=?UTF-8?B?Yw==?=", true},
        // Six characters and no end stay encoded; invalid groups are dropped.
        {decode_utf8_b_words, "=?UTF-8?B?QUJDRA?= =?UTF-8?B?QUJD", "=?UTF-8?B?QUJDRA?= =?UTF-8?B?QUJD", true},
        {decode_utf8_b_words, "=?UTF-8?B?QUJD@@@@QQ==?=", "ABCA", true}, {decode_utf8_b_words, "=?UTF-8?B?" "?=", "", true},
        {decode_utf8_q_words, "x =?utf-8?q?caf=C3=a9?= =?UTF-8?Q?=ZZ=4?=", "x caf\xc3\xa9 =ZZ\x04", true},
        // Known charsets become CP932, ISO-2022-JP keeps its bytes.
        {decode_any_q_words, "=?EUC-JP?Q?=B4=C1=BB=FA?= =?koi8-r?q?=F0=D2=C9=D7=C5=D4?=", sj("漢字 Привет"), true},
        {decode_any_q_words, "=?ISO-8859-1*fr?Q?=E0?= =?UTF-8?B?YQ==?= =?x?Q =??Q?_?=", q + " =?UTF-8?B?YQ==?= =?x?Q  ", true},
        {decode_other_charset_b_words, "=?EUC-JP?B?tMG7+g==?= =?gb2312?b?1tDOxA==?=", sj("漢字 中文"), true},
        // Unknown charsets, bad lengths and the program's own charsets stay.
        {decode_other_charset_b_words, "=?x-unknown?B?YWJj?= =?EUC-JP?B?tMG7+g=?= =?UTF-8?B?YQ==?=",
         "=?x-unknown?B?YWJj?= =?EUC-JP?B?tMG7+g=?= =?UTF-8?B?YQ==?=", false},
        // Decoded line breaks and zero bytes become spaces in every family.
        {decode_utf8_b_words, "=?UTF-8?B?" + forged + "?=", spaced, true},
        {decode_sjis_b_words, "=?SHIFT_JIS?B?" + forged + "?=", spaced, true},
        {decode_iso2022jp_b_words, "=?ISO-2022-JP?B?" + forged + "?=", spaced, true},
        {decode_other_charset_b_words, "=?ISO-8859-1?B?" + forged + "?=", spaced, true},
        {decode_utf8_q_words, "=?UTF-8?Q?a=0D=0Ab=00?=", "a  b ", true},
    };
    for (auto [decode, line, decoded, found] : cases) EXPECT_TRUE(decode(line) == found && line == decoded) << line;
    for (std::string charset : {"x-unknown", "ISO-8859-1", "UTF-8", "ISO-2022-JP"})
        EXPECT_EQ(applied(decode_any_q_words, "=?" + charset + "?Q?a=0D=0Ab=00?="), "a  b ") << charset;
}

TEST(DecodeHeaderLine, OneFamilyPerLine) {
    const std::pair<std::string, std::string> cases[] = {
        // A Shift_JIS word; raw ISO-2022-JP text.
        {"=?shift_jis?B?ir+Omg==?=", sj("漢字")}, {"\x1b$B4A;z\x1b(B <a@b>", sj("漢字 <a@b>")},
        // UTF-8 Base64 and Q words on one line are both decoded.
        {"=?UTF-8?B?5ryi5a2X?= =?UTF-8?Q?=E5=AD=97_x?=", sj("漢字 字 x")},
        // ISO-2022-JP words win; the UTF-8 word on the same line stays encoded.
        {"=?ISO-2022-JP?B?GyRCNEE7ehsoQg==?= =?UTF-8?B?5ryi5a2X?=", sj("漢字") + " =?UTF-8?B?5ryi5a2X?="},
        {"=?x-unknown?B?YWJj?= =?x-unknown?Q?caf=E9?=", "=?x-unknown?B?YWJj?= caf\xe9"},
        // A converter that swallows a bad shift byte at the end: one replacement, nothing read past it.
        {"=?ISO-2022-CN-EXT?Q?=0E?= x", q + " x"},
        // A word whose text looks like another word is decoded once, not twice.
        {"=?x-unknown?Q?=3D=3FUTF-8=3FB=3FYQ=3D=3D=3F=3D?=", "=?UTF-8?B?YQ==?="},
        // The ASCII after a word that never shifts back stays ASCII.
        {"=?ISO-2022-JP?B?GyRCRnxLXA==?= after", sj("日本 after")},
        // Raw 8-bit UTF-8 (RFC 6532) is read as UTF-8, and then every word on the line is decoded; a
        // character split between two UTF-8 words is read whole. Raw Shift_JIS is no UTF-8 and stays.
        {"日本語 =?ISO-2022-JP?B?GyRCNEE7ehsoQg==?= =?UTF-8?B?5rw=?==?UTF-8?B?og==?=", sj("日本語 漢字 漢")},
        {"é =?x-unknown?B?YWJj?= =?x-unknown?Q?caf=E9?= =?EUC-JP?Q?=B4=C1?=", q + " =?x-unknown?B?YWJj?= caf\xe9 " + sj("漢")},
        {sj("漢字") + " <a@b>", sj("漢字") + " <a@b>"},
    };
    for (const auto& [text, decoded] : cases) EXPECT_EQ(header("Subject: " + text + "\n"), "Subject: " + decoded + "\n");
}

TEST(DecodeFilenameStar, JoinsSections) {
    const std::pair<std::string, std::string> cases[] = {
        // Not extended: numbered sections with quoted values.
        {"filename*0=\"long name \"; filename*1=\"%41;x.txt\"\n", "filename=\"long name %41;x.txt\"\n"},
        // Only the first section has charset and language; parameters between
        // sections stay. Decoded quotes and semicolons are part of the name, a
        // quote (or backslash) behind a backslash as a RFC 2045
        // quoted pair, so that a reader sees the whole name.
        {"FILENAME*0*=x-unknown'en'%22%3b; size=3; filename*1*=it's%25\n", "filename=\"\\\";it's%\"; size=3\n"},
        {"filename*=\"UTF-8''a;b%5C.txt\"", "filename=\"a;b\\\\.txt\""}, {"filename*0=\"a\\\"b\"; filename*1=c", "filename=\"a\\\"bc\""},
        // Sections in any order; the extended form wins over a plain parameter.
        {"filename*1*=%42; filename*0*=UTF-8''%41", "filename=\"AB\""},
        {"filename=\"fallback.pdf\"; filename*=UTF-8''%E8%A6%8B.pdf; x=1", "filename=\"" + sj("見") + ".pdf\"; x=1"},
        {"filename*=Shift_JIS''%95%5C.txt", "filename=\"" + sj("表") + ".txt\""},  // 表 ends in the byte of "\"
        // Malformed forms stay readable and in bounds.
        {"filename*=no-apostrophes%4", "filename=\"no-apostrophes%4\""}, {"filename*=UTF-8'%41", "filename=\"UTF-8'A\""},
        {"filename*=", "filename=\"\""}, {"filename*0=\"open", "filename=\"open\""}, {"filename* no equals", "filename* no equals"},
    };
    for (const auto& [line, joined] : cases) EXPECT_EQ(applied(decode_star_parameter, "a; " + line, "filename"), "a; " + joined);
    // The type's "name" is joined alike; "filename*" is not one of its sections.
    EXPECT_EQ(applied(decode_star_parameter, "t; name*0*=UTF-8''%E8%A6; name*1*=%8B; filename*=x", "name"),
              "t; name=\"" + sj("見") + "\"; filename*=x");
}

}  // namespace
}  // namespace qm::test
