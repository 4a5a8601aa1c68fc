#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

#include "platform/cp932.h"
#include "platform/program_context.h"
#include "support/test_support.h"
#include "text/utf8_sjis.h"

namespace qm {
namespace {

using test::list_names;
using test::read_bytes;
using test::sj;
using test::temp_dir;
using test::write_bytes;

const std::string q = "\x81\x48";  // the full-width question mark

std::string converted(std::string text) {
    utf8_to_sjis(text);
    return text;
}

TEST(Utf8ToSjis, CharactersOfEveryLength) {
    EXPECT_EQ(converted("日本語 text ｶﾅ"), sj("日本語 text ｶﾅ"));
    // Two-byte characters CP932 has, and two- and four-byte ones it lacks.
    EXPECT_EQ(converted("±×÷§°"), "\x81\x7d\x81\x7e\x81\x80\x81\x98\x81\x8b");
    EXPECT_EQ(converted("café😀あ"), "caf" + q + q + "\x82\xa0");
    EXPECT_EQ(converted(std::string("a\0あ", 5)), std::string("a\0\x82\xa0", 4));
    EXPECT_EQ(utf8_to_sjis_copy("café😀あ"), "caf" + q + q + "\x82\xa0");
}

TEST(Utf8ToSjis, CharactersUnicodeSpellsTwice) {
    struct {
        const char* utf8;
        const char* cp932;
    } cases[] = {
        {"\u301c\uff5e", "\x81\x60\x81\x60"}, {"\u2212\uff0d", "\x81\x7c\x81\x7c"},
        {"\u2016\u2225", "\x81\x61\x81\x61"}, {"\u2014\u2015", "\x81\x5c\x81\x5c"},
        {"\u00a2\uffe0", "\x81\x91\x81\x91"}, {"\u00a3\uffe1", "\x81\x92\x81\x92"},
        {"\u00ac\uffe2", "\x81\xca\x81\xca"}, {"①㍉∵", "\x87\x40\x87\x5f\x81\xe6"},
        {"髙ⅰ", "\xfb\xfc\xfa\x40"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(converted(c.utf8), c.cp932) << c.utf8;
        EXPECT_EQ(utf8_to_sjis_copy(c.utf8), c.cp932) << c.utf8;
    }
}

TEST(Utf8ToSjis, EveryCp932CharacterComesBack) {
    std::string all, utf8;
    for (unsigned code = 0x8140; code <= 0xfcfc; ++code) {
        std::string c{static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
        if (auto u = cp932_to_utf8(c)) {
            all += c;
            utf8 += *u;
        }
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
    EXPECT_EQ(utf8_to_sjis_copy("\xc0\x80" "a"), q + q + "a");            // overlong
    EXPECT_EQ(utf8_to_sjis_copy("\xe0\x80\xaf" "a"), q + q + q + "a");    // overlong
    EXPECT_EQ(utf8_to_sjis_copy("\xed\xa0\x80" "a"), q + q + q + "a");    // surrogate
    EXPECT_EQ(utf8_to_sjis_copy("\xf4\x90\x80\x80"), q + q + q + q);      // above U+10FFFF
    EXPECT_EQ(utf8_to_sjis_copy("\xff\xfe\xf5"), q + q + q);
    EXPECT_EQ(utf8_to_sjis_copy("あ\xe3"), "\x82\xa0" + q);
    // In place the text never grows: an invalid byte with no room for
    // 0x8148 in front of it becomes "?".
    EXPECT_EQ(converted("\x80" "abc"), "?abc");
    EXPECT_EQ(converted("あ\x80" "b\x80"), "\x82\xa0" + q + "b?");
    EXPECT_EQ(converted("\xe3\x81" "A"), "??A");
}

TEST(Utf8ToSjis, RandomBytes) {
    std::mt19937 random(11);
    const std::string parts[] = {"a", "\n", "é", "あ", "😀", "\x80", "\xe3", "\xf0\x9f", "\xc3", "\xed\xa0"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int k = random() % 12; k > 0; --k)
            text += round % 2 ? std::string(1, static_cast<char>(random())) : parts[random() % std::size(parts)];
        std::string copy = utf8_to_sjis_copy(text);
        std::string in_place = converted(text);
        ASSERT_LE(in_place.size(), text.size());
        ASSERT_LE(copy.size(), 2 * text.size());
        ASSERT_TRUE(cp932_to_utf8(copy).has_value());
        // The same text fed in pieces of any size converts as a whole.
        for (std::size_t size : {1u, 2u, 3u, 5u}) {
            utf8_to_sjis_stream stream;
            std::string pieces;
            for (std::size_t pos = 0; pos < text.size(); pos += size)
                stream.feed(std::string_view(text).substr(pos, size), pieces);
            stream.finish(pieces);
            ASSERT_EQ(pieces, copy) << size;
        }
    }
}

class FileUtf8ToSjis : public ::testing::Test {
protected:
    void SetUp() override {
        program_context context;
        context.temporary_directory = dir.cp("tmp/");
        set_context(context);
        write_bytes(dir / "tmp/.keep", "");
    }
    temp_dir dir;
};

TEST_F(FileUtf8ToSjis, ConvertsByTheLengthOfEachCharacter) {
    // The bytes are kept as they are: CR LF stays, Ctrl-Z is text.
    write_bytes(dir / "body", "café au lait ±\r\n😀あ\x1a\xe3\x81");
    ::chmod((dir / "body").c_str(), 0644);
    ASSERT_TRUE(file_utf8_to_sjis(dir.cp("body")));
    EXPECT_EQ(read_bytes(dir / "body"), "caf" + q + " au lait \x81\x7d\r\n" + q + "\x82\xa0\x1a" + q + q);
    struct stat status;
    ASSERT_EQ(::stat((dir / "body").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    EXPECT_EQ(list_names(dir / "tmp"), std::vector<std::string>{".keep"});
    EXPECT_FALSE(file_utf8_to_sjis(dir.cp("missing")));
}

TEST_F(FileUtf8ToSjis, CharactersAcrossTheReadBlocks) {
    for (std::size_t shift = 0; shift < 5; ++shift) {
        std::string head(65536 - shift, 'x');
        write_bytes(dir / "body", head + "😀あé±\n");
        ASSERT_TRUE(file_utf8_to_sjis(dir.cp("body")));
        ASSERT_EQ(read_bytes(dir / "body"), head + q + "\x82\xa0" + q + "\x81\x7d\n") << shift;
    }
}

}  // namespace
}  // namespace qm
