#include <algorithm>
#include <random>

#include "text/base64.h"
#include "text/encoded_words.h"
#include "text/sjis_jis.h"
#include "text_test.h"

namespace qm {
namespace {

using namespace test;

constexpr std::size_t line_capacity = 1001;

std::string encoded(std::string_view sjis_line) {
    std::string jis, out;
    EXPECT_TRUE(sjis_to_jis(jis, line_capacity, sjis_line));
    EXPECT_TRUE(encode_header_line(out, line_capacity, jis));
    return out;
}

std::string header(std::string line) { return applied(decode_header_line, std::move(line)); }
std::string part_line(std::string line, bool content_disposition = true) {
    return applied(decode_part_header_line, std::move(line), content_disposition);
}

TEST(EncodeHeaderLine, ThirtyKanjiSubjectFoldsIntoThreeWords) {
    EXPECT_EQ(encoded("Subject: " + sj("亜唖娃阿哀愛挨姶逢葵茜穐悪握渥旭葦芦鯵梓圧斡扱宛姐虻飴絢綾鮎") + "\n"),
              "Subject: =?ISO-2022-JP?B?GyRCMCEwIjAjMCQwJTAmMCcwKDApMCowKzAsGyhC?=\n"
              " =?ISO-2022-JP?B?GyRCMC0wLjAvMDAwMTAyMDMwNDA1MDYwNzA4MDkwOjA7GyhC?=\n"
              " =?ISO-2022-JP?B?GyRCMDwwPTA+GyhC?=\n");
}

TEST(EncodeHeaderLine, ColumnRules) {
    const std::string x31 = "Subject: " + std::string(31, 'x'), tail(70, 'y');
    const std::pair<std::string, std::string> cases[] = {
        // ASCII stays as it is, however long.
        {"Subject: " + std::string(300, 'a') + " b\tc\n", "Subject: " + std::string(300, 'a') + " b\tc\n"},
        // After the first word every blank starts a continuation line.
        {"Subject: Re: " + sj("漢字") + " a b\n", "Subject: Re: =?ISO-2022-JP?B?GyRCNEE7ehsoQg==?=\n  a\n  b\n"},
        // A word that would start past column 40 goes to the next line.
        {x31 + "x" + sj("漢") + "\n", x31 + "x\n =?ISO-2022-JP?B?GyRCNEEbKEI=?=\n"},
        // From column 40 the word still starts on the line; its five-byte tail
        // (one kanji and the closing escape) moves to a new word.
        {x31 + sj("亜唖娃阿") + "\n", x31 + "=?ISO-2022-JP?B?GyRCMCEwIjAjGyhC?=\n =?ISO-2022-JP?B?GyRCMCQbKEI=?=\n"},
        // A word ending at column 74 right before the line feed: no fold that
        // would leave a line of white space.
        {x31 + sj("亜唖娃") + "\n", x31 + "=?ISO-2022-JP?B?GyRCMCEwIjAjGyhC?=\n"},
        // Plain text after a word is folded when it reaches column 74.
        {"Subject: " + sj("漢") + tail + "\n",
         "Subject: =?ISO-2022-JP?B?GyRCNEEbKEI=?=" + tail.substr(0, 35) + "\n " + tail.substr(35) + "\n"},
    };
    for (const auto& [line, folded] : cases) EXPECT_EQ(encoded(line), folded) << u8(line);
}

TEST(EncodeHeaderLine, CapacityCountsTheTerminator) {
    std::string jis, full, out;
    ASSERT_TRUE(sjis_to_jis(jis, line_capacity, "Subject: " + sj("亜唖娃阿哀愛挨姶逢葵茜穐悪握渥旭") + " x\n"));
    ASSERT_TRUE(encode_header_line(full, line_capacity, jis));
    for (std::size_t capacity = 0; capacity <= full.size(); ++capacity)
        EXPECT_FALSE(encode_header_line(out, capacity, jis)) << capacity;
    EXPECT_TRUE(encode_header_line(out, full.size() + 1, jis));
    EXPECT_EQ(out, full);
}

// Random header lines of JIS X 0208 kanji, ASCII words and blanks.
std::string random_sjis_line(std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 9), length(0, 60), row(0x21, 0x74), cell(0x21, 0x7e), letter('a', 'z');
    std::string line = kind(rng) < 5 ? "Subject: " : std::string(std::uniform_int_distribution<int>(0, 50)(rng), 'h');
    for (int n = length(rng); n > 0; --n) {
        int k = kind(rng);
        if (k < 6) {
            unsigned code = jis_code_to_sjis(static_cast<unsigned>(row(rng) << 8 | cell(rng)));
            line += {static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
        } else {
            line += k == 9 ? ' ' : static_cast<char>(letter(rng));
        }
    }
    return line + "\n";
}

TEST(EncodeHeaderLine, NoLineLongerThan76AndTheWordsDecodeBack) {
    std::mt19937 rng(1468);
    for (int i = 0; i < 3000; ++i) {
        std::string line = random_sjis_line(rng), jis, out;
        ASSERT_TRUE(sjis_to_jis(jis, 100000, line));
        ASSERT_TRUE(encode_header_line(out, 100000, jis));
        bool ascii_only = jis.find('\x1b') == std::string::npos;
        for (std::size_t start = 0, lf; (lf = out.find('\n', start)) != std::string::npos; start = lf + 1) {
            // Only blanks that end the line may reach past column 76: a
            // fold before them would leave a line of blanks.
            std::size_t end = out.find_last_not_of(" \t", lf - 1) + 1;
            ASSERT_TRUE(ascii_only || (lf == out.size() - 1 ? end : lf) - start <= 76u) << out;
            ASSERT_TRUE(start == 0 || out.find_first_not_of(" \t", start) != lf) << "blank line in " << out;
        }
        // Taking the folds out and decoding gives the line back.
        std::string unfolded = out;
        for (std::size_t pos = 0; (pos = unfolded.find("\n ", pos)) != std::string::npos;) unfolded.erase(pos, 2);
        ASSERT_EQ(header(unfolded), line);
    }
}

TEST(DecodeBWords, DecodeCompleteWordsOnly) {
    EXPECT_EQ(applied(decode_iso2022jp_b_words, "S: =?ISO-2022-JP?B?GyRCNEE7ehsoQg==?=!"), "S: \x1b$B4A;z\x1b(B!");
    EXPECT_EQ(applied(decode_iso2022jp_b_words, "=?iso-2022-jp?b?GyRCNEE7ehsoQg==?="), "\x1b$B4A;z\x1b(B");
    EXPECT_EQ(applied(decode_sjis_b_words, "=?Shift_JIS?B?ir+Omg==?="), sj("漢字"));
    // Blanks between words stay; a decoded prefix is not decoded again.
    EXPECT_EQ(applied(decode_utf8_b_words, "=?UTF-8?B?YQ==?= =?UTF-8?B?Yg==?=\t=?UTF-8?B?PT9VVEYtOD9CP1l3PT0/PQ==?="),
              "a b\t=?UTF-8?B?Yw==?=");
    // Six characters, no end, invalid groups.
    EXPECT_EQ(applied(decode_utf8_b_words, "=?UTF-8?B?QUJDRA?= =?UTF-8?B?QUJD"), "=?UTF-8?B?QUJDRA?= =?UTF-8?B?QUJD");
    EXPECT_EQ(applied(decode_utf8_b_words, "=?UTF-8?B?QUJD@@@@QQ==?="), "ABCA");
    EXPECT_EQ(applied(decode_utf8_b_words, "=?UTF-8?B?" "?="), "");

    std::string line = "=?UTF-8?B?QUJDRA?=";
    EXPECT_TRUE(decode_utf8_b_words(line));
    EXPECT_FALSE(decode_sjis_b_words(line));
}

TEST(DecodeQWords, Utf8AndAnyCharset) {
    EXPECT_EQ(applied(decode_utf8_q_words, "=?UTF-8?Q?a_b=41?="), "a bA");
    EXPECT_EQ(applied(decode_utf8_q_words, "x =?utf-8?q?caf=C3=a9?= =?UTF-8?Q?=ZZ=4?="), "x caf\xc3\xa9 =ZZ\x04");
    std::string open = "=?UTF-8?Q?a_b", none = "=?UTF-8?B?YQ==?= =?a?Q?b";
    EXPECT_FALSE(decode_utf8_q_words(open));
    EXPECT_EQ(open, "=?UTF-8?Q?a_b");
    EXPECT_FALSE(decode_any_q_words(none));

    // Known charsets become CP932, ISO-2022-JP keeps its bytes, unknown
    // charsets give the raw bytes.
    EXPECT_EQ(applied(decode_any_q_words, "=?ISO-8859-1?Q?caf=E9?="), "caf" + q);
    EXPECT_EQ(applied(decode_any_q_words, "=?x-unknown?Q?caf=E9?="), "caf\xe9");
    EXPECT_EQ(applied(decode_any_q_words, "=?EUC-JP?Q?=B4=C1=BB=FA?= =?koi8-r?q?=F0=D2=C9=D7=C5=D4?="),
              sj("漢字 Привет"));
    EXPECT_EQ(applied(decode_any_q_words, "=?ISO-2022-JP?Q?=1B$B4A=1B(B?="), "\x1b$B4A\x1b(B");
    EXPECT_EQ(applied(decode_any_q_words, "=?ISO-8859-1*fr?Q?=E0?= =?UTF-8?B?YQ==?= =?x?Q =??Q?_?="),
              q + " =?UTF-8?B?YQ==?= =?x?Q  ");
}

TEST(DecodeBWords, OtherCharsetsThroughTheConverter) {
    EXPECT_EQ(applied(decode_other_charset_b_words, "=?EUC-JP?B?tMG7+g==?= =?gb2312?b?1tDOxA==?="), sj("漢字 中文"));
    // Unknown charsets, bad lengths and the program's own charsets stay.
    std::string kept = "=?x-unknown?B?YWJj?= =?EUC-JP?B?tMG7+g=?= =?UTF-8?B?YQ==?=";
    EXPECT_FALSE(decode_other_charset_b_words(kept));
    EXPECT_EQ(kept, "=?x-unknown?B?YWJj?= =?EUC-JP?B?tMG7+g=?= =?UTF-8?B?YQ==?=");
}

TEST(DecodeWords, NeverBreakTheLine) {
    // A word hiding a line break and a zero byte: decoded literally, they
    // would forge a header line or cut this one.
    std::string forged = base64_encode_text(std::string("x\r\nX-quillmere-Status: 1\0!", 26));
    std::string spaced = "x  X-quillmere-Status: 1 !";
    EXPECT_EQ(applied(decode_utf8_b_words, "=?UTF-8?B?" + forged + "?="), spaced);
    EXPECT_EQ(applied(decode_sjis_b_words, "=?SHIFT_JIS?B?" + forged + "?="), spaced);
    EXPECT_EQ(applied(decode_iso2022jp_b_words, "=?ISO-2022-JP?B?" + forged + "?="), spaced);
    EXPECT_EQ(applied(decode_other_charset_b_words, "=?ISO-8859-1?B?" + forged + "?="), spaced);
    EXPECT_EQ(applied(decode_utf8_q_words, "=?UTF-8?Q?a=0D=0Ab=00?="), "a  b ");
    for (std::string charset : {"x-unknown", "ISO-8859-1", "UTF-8", "ISO-2022-JP"})
        EXPECT_EQ(applied(decode_any_q_words, "=?" + charset + "?Q?a=0D=0Ab=00?="), "a  b ") << charset;
    EXPECT_EQ(header("Subject: =?UTF-8?B?" + forged + "?=\n"), "Subject: " + spaced + "\n");
    EXPECT_EQ(part_line("Content-Disposition: attachment; filename*=UTF-8''a%0D%0Ab%00.txt\n"),
              "Content-Disposition: attachment; filename=\"a  b .txt\"\n");
}

TEST(DecodeHeaderLine, OneFamilyPerLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"=?ISO-2022-JP?B?GyRCNEE7ehsoQg==?=", sj("漢字")},
        {"=?shift_jis?B?ir+Omg==?=", sj("漢字")},
        {"\x1b$B4A;z\x1b(B <a@b>", sj("漢字 <a@b>")},  // raw ISO-2022-JP text
        // UTF-8 Base64 and Q words on one line are both decoded.
        {"=?UTF-8?B?5ryi5a2X?= =?UTF-8?Q?=E5=AD=97_x?=", sj("漢字 字 x")},
        // ISO-2022-JP words win; the UTF-8 word on the same line stays encoded.
        {"=?ISO-2022-JP?B?GyRCNEE7ehsoQg==?= =?UTF-8?B?5ryi5a2X?=", sj("漢字") + " =?UTF-8?B?5ryi5a2X?="},
        {"=?EUC-JP?B?tMG7+g==?= =?ISO-8859-1?Q?caf=E9?=", sj("漢字") + " caf" + q},
        {"=?x-unknown?B?YWJj?= =?x-unknown?Q?caf=E9?=", "=?x-unknown?B?YWJj?= caf\xe9"},
        {"plain", "plain"},
        // A converter that swallows a bad shift byte at the end: one replacement, nothing read past it.
        {"=?ISO-2022-CN-EXT?Q?=0E?= x", q + " x"},
        // A word whose text looks like another word is decoded once, not twice.
        {"=?x-unknown?Q?=3D=3FUTF-8=3FB=3FYQ=3D=3D=3F=3D?=", "=?UTF-8?B?YQ==?="},
    };
    for (const auto& [text, decoded] : cases) EXPECT_EQ(header("Subject: " + text + "\n"), "Subject: " + decoded + "\n");
}

TEST(DecodePartHeaderLine, NamesInEveryForm) {
    const std::string type = "Content-Type: application/pdf; name=\"", disposition = "Content-Disposition: attachment;";
    const std::string named = sj("資料.pdf") + "\"";
    EXPECT_EQ(part_line(type + "=?ISO-2022-JP?B?GyRCO3FOQRsoQg==?=.pdf\"\n", false), type + named + "\n");
    // UTF-8 Q words are converted word by word.
    EXPECT_EQ(part_line(type + "=?UTF-8?Q?=E8=B3=87=E6=96=99.pdf?=\"\n", false), type + named + "\n");
    // RFC 2231: two extended sections, the second starting with an escape.
    EXPECT_EQ(part_line(disposition + "\tfilename*0*=ISO-2022-JP'ja'%1B%24B%3Bq; filename*1*=%4EA%1B%28B.pdf\n"),
              disposition + "\tfilename=\"" + named + "\n");
    EXPECT_EQ(part_line(disposition + " filename*=UTF-8''%E8%B3%87%E6%96%99.pdf\n"), disposition + " filename=\"" + named + "\n");
    EXPECT_EQ(part_line(disposition + " filename*=EUC-JP''%BB%F1%CE%C1.pdf; size=9\n"),
              disposition + " filename=\"" + named + "; size=9\n");
    // Only Content-Disposition lines are joined.
    EXPECT_EQ(part_line("Content-Type: text/plain; filename*=UTF-8''a\n", false), "Content-Type: text/plain; filename*=UTF-8''a\n");
}

TEST(DecodeFilenameStar, JoinsSections) {
    const std::pair<std::string, std::string> cases[] = {
        // Not extended: numbered sections with quoted values.
        {"filename*0=\"long name \"; filename*1=\"%41;x.txt\"\n", "filename=\"long name %41;x.txt\"\n"},
        {"filename*0=abc; filename*1=def\n", "filename=\"abcdef\"\n"},
        // Decoded quotes and semicolons are part of the name; only the first
        // section has charset and language; parameters between sections stay.
        {"FILENAME*0*=x-unknown'en'%22%3b; size=3; filename*1*=it's%25\n", "filename=\"\";it's%\"; size=3\n"},
        {"filename*=\"''abc\"", "filename=\"abc\""},
        // Malformed forms stay readable and in bounds.
        {"filename*=no-apostrophes%4", "filename=\"no-apostrophes%4\""},
        {"filename*=UTF-8'%41", "filename=\"UTF-8'A\""},
        {"filename*=", "filename=\"\""},
        {"filename*0=\"open", "filename=\"open\""},
        {"filename* no equals", "filename* no equals"},
        {"filename=\"b\"", "filename=\"b\""},
    };
    for (const auto& [line, joined] : cases) EXPECT_EQ(applied(decode_filename_star, "a; " + line), "a; " + joined);
}

TEST(DecodeWords, MalformedInputStaysInBounds) {
    // Pieces of encoded words, escapes and parameters in random order: the
    // decoders must neither crash nor add line breaks.
    const std::vector<std::string> pieces = {"=?", "?=", "?B?", "?Q?", "?b?", "UTF-8", "ISO-2022-JP", "Shift_JIS",
                                             "EUC-JP", "x-bad", "=", "=4", "=E9", "%", "%4", "%41", "'", "''", "\"",
                                             ";", " ", "\n", "\r", std::string(1, '\0'), "filename*", "*0*", "*1=",
                                             "\x1b", "\x1b$B", "\x1b(B", "$B", "4A", "QUJD", "GyRC", "\x81", "\xff", "_"};
    auto breaks = [](const std::string& s) {
        return std::count_if(s.begin(), s.end(), [](char c) { return c == '\n' || c == '\r' || c == '\0'; });
    };
    std::mt19937 rng(2047);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1), count(0, 40);
    for (int i = 0; i < 20000; ++i) {
        std::string line, out;
        for (std::size_t n = count(rng); n > 0; --n) line += pieces[pick(rng)];
        ASSERT_LE(breaks(header(line)), breaks(line));
        ASSERT_LE(breaks(part_line(line)), breaks(line));
        ASSERT_LE(breaks(applied(decode_filename_star, line)), breaks(line));
        encode_header_line(out, line_capacity, line);
    }
}

}  // namespace
}  // namespace qm
