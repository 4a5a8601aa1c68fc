#include <gtest/gtest.h>

#include "support/test_support.h"
#include "text/charset_conversion.h"

namespace qm {
namespace {

using test::sj;

const std::string q = "\x81\x48";  // the full-width question mark

std::string cp932_of(std::string_view charset, std::string_view bytes) {
    auto converted = convert_to_cp932(charset, bytes);
    EXPECT_TRUE(converted.has_value()) << charset;
    return converted.value_or("<unknown charset>");
}

TEST(ConvertToCp932, CharsetsMailUses) {
    EXPECT_EQ(cp932_of("EUC-JP", "\xc6\xfc\xcb\xdc\xb8\xec"), sj("日本語"));
    // NEC row 13 and both spellings of the wave dash, from EUC-JP.
    EXPECT_EQ(cp932_of("euc-jp", "\xad\xa1\xa1\xc1"), "\x87\x40\x81\x60");
    EXPECT_EQ(cp932_of("ISO-8859-1", "caf\xe9 \xb1\xa7"), "caf" + q + " \x81\x7d\x81\x98");
    EXPECT_EQ(cp932_of("windows-1252", "\x93quoted\x94 \x80"), "\x81\x67quoted\x81\x68 " + q);
    EXPECT_EQ(cp932_of("GB2312", "\xd6\xd0\xce\xc4"), sj("中文"));
    EXPECT_EQ(cp932_of("gbk", "\xd6\xd0\xce\xc4"), sj("中文"));
    EXPECT_EQ(cp932_of("Big5", "\xa4\xa4\xa4\xe5"), sj("中文"));
    EXPECT_EQ(cp932_of("KOI8-R", "\xf0\xd2\xc9\xd7\xc5\xd4"), sj("Привет"));
    EXPECT_EQ(cp932_of("ks_c_5601-1987", "\xc7\xd1 a"), q + " a");
    EXPECT_EQ(cp932_of("iso-8859-8-i", "\xf9 a"), q + " a");
    EXPECT_EQ(cp932_of("UTF-8", "é①"), q + "\x87\x40");
    EXPECT_EQ(cp932_of("iso-2022-jp", "\x1b$B-!\x1b(I1\x1b(B"), "\x87\x40\xb1");
}

TEST(ConvertToCp932, ShiftJisIsReadAsCp932) {
    // NEC row 13, IBM and NEC-selected IBM extensions, a user-defined code.
    const std::string text = "\x87\x40\xfa\x40\xed\x40\xf0\x40 a";
    for (const char* name : {"Shift_JIS", "SHIFT_JIS", "x-sjis", "windows-31j", "cp932"}) {
        std::string converted = cp932_of(name, text);
        EXPECT_EQ(test::u8(converted), test::u8(text)) << name;
        EXPECT_EQ(converted.find(q), std::string::npos) << name;
    }
}

TEST(ConvertToCp932, BadBytesAndUnknownCharsets) {
    // A byte the charset cannot read is one replacement; the rest is kept.
    EXPECT_EQ(cp932_of("EUC-JP", "\xc6\xfc\xff\xc6\xfc"), sj("日") + q + sj("日"));
    EXPECT_EQ(cp932_of("EUC-JP", "a\xc6"), "a" + q);
    EXPECT_EQ(cp932_of("Shift_JIS", "\x80" "a\xa0"), q + "a" + q);
    EXPECT_EQ(cp932_of("us-ascii", ""), "");
    for (const char* name : {"x-unknown", "", "UTF-8//IGNORE", "ISO-8859-1//TRANSLIT", "unknown-8bit"})
        EXPECT_FALSE(convert_to_cp932(name, "abc").has_value()) << name;
}

}  // namespace
}  // namespace qm
