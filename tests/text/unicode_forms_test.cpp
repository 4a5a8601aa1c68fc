#include <random>
#include <tuple>

#include "support/test_support.h"
#include "text/charset_conversion.h"
#include "text/header_text_utf8.h"
#include "text/unicode_forms.h"
#include "text/utf8_sjis.h"
#include "text/utf8_text.h"

namespace qm::test {
namespace {

const std::string fffd = "\xEF\xBF\xBD";

// Random text of what mail mixes: ASCII, kana, kanji, the twins CP932 spells once, characters CP932
// lacks (emoji, accents, Hangul, a joiner) and bytes that are no UTF-8 at all.
std::string mixed_text(std::mt19937& rng, int length) {
    static const char* pieces[] = {"a", " ", "\n", "ｱ", "あ", "漢", "〜", "～", "髙", "①", "？", "🎉", "é", "한",
                                   "\u200d", "\x80", "\xe3\x81", "\xff", "\xf0\x9f"};
    std::string text;
    for (int i = 0; i < length; ++i) text += pieces[rng() % std::size(pieces)];
    return text;
}

// What is stored of a text and the text as sent always agree, character for character, however the
// text mixes; a text that differs anywhere else never passes for the stored one.
TEST(UnicodeForms, StoredTextAgreesWithTheTextItWasMadeFrom) {
    std::mt19937 rng(28);
    for (int round = 0; round < 2000; ++round) {
        const std::string sent = mixed_text(rng, static_cast<int>(rng() % 40));
        const std::string stored = utf8_to_sjis_copy(sent), as_sent = sanitized_utf8(sent);
        SCOPED_TRACE(testing::PrintToString(sent));
        ASSERT_EQ(unicode_form(stored, as_sent), as_sent);
        if (!stored.empty()) {
            EXPECT_EQ(unicode_form(stored.substr(0, stored.size() - 1) + "x", as_sent), std::nullopt);
            EXPECT_EQ(unicode_form(stored, as_sent + "x"), std::nullopt);
            EXPECT_EQ(unicode_form(stored, as_sent + "x", true), as_sent);
        }
    }
    // A stored text cut short takes the matching beginning; one longer than the text never agrees.
    EXPECT_EQ(unicode_form(sj("件名") + q, "件名🎉です", true), "件名🎉");
    EXPECT_EQ(unicode_form(sj("件名です"), "件名", true), std::nullopt);
    // NEC and IBM rows hold some kanji twice; either spelling agrees with the one character.
    EXPECT_EQ(unicode_form("\xed\x40", "纊"), "纊");
    EXPECT_EQ(unicode_form("\xfa\x5c", "纊"), "纊");
    // A piece of the stored text (a display name within a field).
    const std::string field = sj("\"") + q + sj(" 花子\" <h@example.jp>");
    EXPECT_EQ(unicode_form_of_piece(field, "\"🌸 花子\" <h@example.jp>", 1, 7), "🌸 花子");
    EXPECT_EQ(unicode_form_of_piece(field, "\"x 花子\" <h@other.jp>", 1, 7), std::nullopt);
}

TEST(UnicodeForms, OnlyAFullWidthQuestionMarkOfItsOwnMarksALoss) {
    EXPECT_TRUE(holds_lost_character_mark(sj("a？b")) && holds_lost_character_mark("\x83\x81\x81\x48"));
    EXPECT_FALSE(holds_lost_character_mark(sj("a?b")) || holds_lost_character_mark("\x83\x81\x48"));  // ャ's trail byte, then "H"
}

TEST(UnicodeForms, HeaderTextDecodesEveryCharsetIntoUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"=?UTF-8?B?8J+OiSDlubTmnKs=?= =?utf-8?q?_caf=C3=A9?=", "🎉 年末 café"},  // adjacent words meet
        {"=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= and =?iso-8859-1?Q?R=E9sum=E9?=", "日本 and Résumé"},
        {"=?UTF-8*ja?B?5pel5pys?=", "日本"},
        {"=?x-unknown?B?5pel?= x", "=?x-unknown?B?5pel?= x"},  // a charset nobody knows stays
        {"=?UTF-8?B?YQBiDWMKZBpl?=", "a b c d e"},              // no control character reaches the line
        {"caf\xc3\xa9 \xf0\x9f\x8d\xa3", "café 🍣"},                // raw UTF-8
        {"\x1b$BF|K\\\x1b(B", "日本"},                             // raw ISO-2022-JP
        {sj("日本"), "日本"},                                      // raw Shift_JIS
        {"=?UTF-8?B?broken", "=?UTF-8?B?broken"},
    };
    for (const auto& [raw, utf8] : cases) EXPECT_EQ(header_text_utf8(raw), utf8) << raw;
}

TEST(UnicodeForms, CharsetsConvertToUtf8KeepingWhatCp932Lacks) {
    for (auto [charset, bytes, utf8] : {std::tuple<const char*, std::string, std::string>{"iso-8859-1", "R\xe9sum\xe9", "Résumé"},
                                        {"ks_c_5601-1987", "\xbe\xc8\xb3\xe7", "안녕"}, {"Shift_JIS", sj("日本") + "\x80", "日本" + fffd},
                                        {"utf-8", "a\xff\xfe" "b", "a" + fffd + fffd + "b"}, {"ISO-2022-JP", "\x1b$BF|K\\\x1b(B", "日本"}})
        EXPECT_EQ(convert_to_utf8(charset, bytes), utf8) << charset;
    EXPECT_FALSE(convert_to_utf8("x-nobody", "a") || convert_to_utf8("UTF-8//TRANSLIT", "a"));
}

TEST(UnicodeForms, ControlsShowAsCaretsAndNothingIsCutInsideACharacter) {
    EXPECT_EQ(with_visible_controls("a\x1b]0;t\x07\tb\n\x7f\xc2\x9b" "c\xff"), "a^[]0;t^G\tb\n^?" + fffd + "c" + fffd);
    EXPECT_EQ(with_visible_controls("a\tb", false), "a^Ib");
    EXPECT_EQ(std::pair(utf8_prefix("日本語", 7), utf8_prefix("日本語", 9)), std::pair(std::string_view("日本"), std::string_view("日本語")));
    EXPECT_EQ(code_point_name(0x1F389) + code_point_name(0xE9), "U+1F389U+00E9");
}

}  // namespace
}  // namespace qm::test
