#include <random>

#include "support/test_support.h"
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
    for (const char* spelling : {"\xed\x40", "\xfa\x5c"}) EXPECT_EQ(unicode_form(spelling, "纊"), "纊");
    // A piece of the stored text (a display name within a field).
    const std::string field = sj("\"") + q + sj(" 花子\" <h@example.jp>");
    EXPECT_EQ(unicode_form_of_piece(field, "\"🌸 花子\" <h@example.jp>", 1, 7), "🌸 花子");
    EXPECT_EQ(unicode_form_of_piece(field, "\"x 花子\" <h@other.jp>", 1, 7), std::nullopt);
}

TEST(UnicodeForms, OnlyAFullWidthQuestionMarkOfItsOwnMarksALoss) {
    EXPECT_TRUE(holds_lost_character_mark(sj("a？b")) && holds_lost_character_mark("\x83\x81\x81\x48"));
    EXPECT_FALSE(holds_lost_character_mark(sj("a?b")) || holds_lost_character_mark("\x83\x81\x48"));  // ャ's trail byte, then "H"
}

TEST(UnicodeForms, ControlsShowAsCaretsAndNothingIsCutInsideACharacter) {
    EXPECT_EQ(with_visible_controls("a\x1b]0;t\x07\tb\n\x7f\xc2\x9b" "c\xff"), "a^[]0;t^G\tb\n^?" + fffd + "c" + fffd);
    EXPECT_EQ(with_visible_controls("a\tb", false), "a^Ib");
    EXPECT_EQ(std::pair(utf8_prefix("日本語", 7), utf8_prefix("日本語", 9)), std::pair(std::string_view("日本"), std::string_view("日本語")));
    EXPECT_EQ(code_point_name(0x1F389) + code_point_name(0xE9), "U+1F389U+00E9");
}

}  // namespace
}  // namespace qm::test
