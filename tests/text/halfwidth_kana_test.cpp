#include <gtest/gtest.h>

#include "platform/program_context.h"
#include "support/test_support.h"
#include "text/ascii_text.h"
#include "text/halfwidth_kana.h"

namespace qm {
namespace {

using test::list_names;
using test::read_bytes;
using test::sj;
using test::temp_dir;
using test::write_bytes;

TEST(KanaToFullwidth, EveryHalfwidthCharacter) {
    const std::string fullwidth = sj("。「」、・ヲァィゥェォャュョッー"
                                     "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホ"
                                     "マミムメモヤユヨラリルレロワン゛゜");
    ASSERT_EQ(fullwidth.size(), 63u * 2);
    for (int c = 0xa1; c <= 0xdf; ++c)
        EXPECT_EQ(kana_to_fullwidth(std::string(1, static_cast<char>(c))), fullwidth.substr((c - 0xa1) * 2, 2)) << c;
    // The marks are never combined with the katakana before them.
    EXPECT_EQ(kana_to_fullwidth("\xb6\xde"), "\x83\x4a\x81\x4a");
    // Double-byte characters stay whole even when their second byte looks
    // like katakana; bytes without a full-width form stay; so does a lead
    // byte at the end.
    EXPECT_EQ(kana_to_fullwidth(sj("じ漢") + "a\x80\xa0\xfd\xff\x82"), sj("じ漢") + "a\x80\xa0\xfd\xff\x82");
}

TEST(KanaToFullwidth, FileIsRewritten) {
    temp_dir dir;
    program_context context;
    context.temporary_directory = dir.cp("tmp/");
    set_context(context);
    write_bytes(dir / "tmp/.keep", "");
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
    EXPECT_EQ(list_names(dir / "tmp"), std::vector<std::string>{".keep"});
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
