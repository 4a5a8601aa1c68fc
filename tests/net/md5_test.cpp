#include <gtest/gtest.h>

#include <cstdio>

#include "net/md5.h"

namespace qm {
namespace {

std::string hex(const unsigned char digest[16]) {
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

std::string digest_in_pieces(const std::string& input, std::size_t piece) {
    md5_context context;
    md5_init(context);
    for (std::size_t at = 0; at < input.size(); at += piece)
        md5_update(context, input.data() + at, std::min(piece, input.size() - at));
    unsigned char digest[16];
    md5_final(digest, context);
    return hex(digest);
}

TEST(Md5, GivesTheReferenceDigestsForEveryPieceSizeAndLongInputs) {
    const struct { std::string input; const char* digest; } cases[] = {
        // RFC 1321, appendix A.5
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // Around the padding boundary: from 56 bytes on the length needs a second block.
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
    };
    for (const auto& test : cases) {
        for (std::size_t piece = 1; piece <= 65; ++piece)
            ASSERT_EQ(digest_in_pieces(test.input, piece), test.digest) << test.input << " in pieces of " << piece;
    }
    const std::string million(1000000, 'a');
    EXPECT_EQ(digest_in_pieces(million, 4093), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, TheFinalStepWipesTheContext) {
    md5_context context;
    md5_init(context);
    md5_update(context, "abc", 3);
    unsigned char digest[16];
    md5_final(digest, context);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
    for (std::size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(HmacMd5, GivesTheReferenceDigests) {
    const struct { std::string key, text; const char* digest; } cases[] = {
        // RFC 2104 and RFC 2202
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const auto& test : cases) {
        unsigned char digest[16];
        hmac_md5(test.text.data(), test.text.size(), test.key.data(), test.key.size(), digest);
        EXPECT_EQ(hex(digest), test.digest) << test.text;
    }
}

}  // namespace
}  // namespace qm
