#include "text/display_text.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

const std::string fffd = "\xEF\xBF\xBD";

// CP932 text (あ z 〜 repeated) and how it shows: short, or long enough for the halving to reach a bad spot.
std::pair<std::string, std::string> filler(std::size_t repeats) {
    std::string text, shown;
    for (std::size_t i = 0; i < repeats; ++i) text += "\x82\xa0z\x81\x60", shown += "あz～";
    return {text, shown};
}

TEST(DisplayText, BadBytesBecomeOneReplacementAnywhere) {
    // A pair is one character, but an ASCII byte after a lead byte stays itself.
    const std::pair<std::string, std::string> bad[] = {
        {"\x80", fffd},          {"\xfd", fffd},           {"\x85\x40", fffd + "@"}, {"\xfc\xfc", fffd},
        {"\x82\n", fffd + "\n"}, {"\x82" "A", fffd + "A"}, {"\x82\xfd", fffd},      {"\xa0\xa0", fffd + fffd},
    };
    for (std::size_t repeats : {0, 1, 3, 5000}) {
        const auto [text, shown] = filler(repeats);
        for (const auto& [bytes, expected] : bad) {
            SCOPED_TRACE(testing::Message() << repeats << " " << testing::PrintToString(bytes));
            // Long texts are not printed.
            EXPECT_TRUE(display_utf8(bytes + text) == expected + shown && display_utf8(text + bytes) == shown + expected &&
                        display_utf8(text + bytes + text) == shown + expected + shown);
        }
        // A lone lead byte at the very end, after several bad bytes.
        EXPECT_TRUE(display_utf8(text + "\x80" + text + "\xff" + text + "\x82") ==
                    shown + fffd + shown + fffd + shown + fffd);
    }
    EXPECT_EQ(display_utf8("\xb1\xb2\\~"), "ｱｲ\\~");
}

TEST(DisplayText, EverySpellingOfAnAmbiguousCharacterComesBackAsItsBytes) {
    const std::tuple<std::string, std::string, std::string> twins[] = {
        {"\x81\x60", "〜", "～"}, {"\x81\x61", "‖", "∥"}, {"\x81\x7c", "−", "－"},
        {"\x81\x91", "¢", "￠"},  {"\x81\x92", "£", "￡"}, {"\x81\xca", "¬", "￢"},
    };
    for (const auto& [bytes, first, second] : twins)
        EXPECT_EQ(typed_to_cp932(first).text + "|" + typed_to_cp932(second).text + "|" +
                      typed_to_cp932(display_utf8("a" + bytes + "b")).text, bytes + "|" + bytes + "|a" + bytes + "b") << first;
    const std::string text = filler(2000).first + sj("半角ｶﾅ、①Ⅹ髙") + "\r\n";
    EXPECT_TRUE(typed_to_cp932(display_utf8(text)).text == text);
}

TEST(DisplayText, TypedTextWithoutCp932FormIsRefusedAndNamed) {
    const std::tuple<std::string, std::string, std::size_t> cases[] = {
        {"ab☃cd", "☃", 2}, {"😀", "😀", 0},
        {"あ\xe3\x81", fffd, 3}, {"x\x80y", fffd, 1},
        {fffd, fffd, 0},  // a replacement shown for a bad byte never goes back as anything else
    };
    for (const auto& [typed, refused, at] : cases) {
        const typed_text result = typed_to_cp932(typed);
        EXPECT_EQ(std::tuple(result.ok, result.refused, result.refused_at), std::tuple(false, refused, at)) << typed;
    }
    EXPECT_EQ(refusal_notice(typed_to_cp932("ab☃c😀☃")),
              "次の文字はこのプログラムでは扱えないため使用できません.\n    ☃ (U+2603)\n    😀 (U+1F600)");
}

TEST(DisplayText, FieldLimitsCountCp932BytesAndNeverCutACharacter) {
    std::string kanji;  // three UTF-8 bytes, two CP932 bytes each
    for (int i = 0; i < 64; ++i) kanji += "あ";
    EXPECT_TRUE(fits_field(kanji, 128) && !fits_field(kanji, 127) && fits_field("ｱｱ", 2));
    // A character without a form counts two bytes.
    EXPECT_EQ(std::tuple(fitting_prefix(kanji, 127), fitting_prefix("aあ", 2), fitting_prefix("a☃b", 3)), std::tuple(63u * 3, 1u, 4u));
}

}  // namespace
}  // namespace qm::test
