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

// The wrappers over OpenSSL give the reference digests: MD5 of RFC 1321 (appendix A.5) fed in pieces
// to one context used again after each final step, HMAC-MD5 of RFC 2104 and RFC 2202 (the third with
// a key longer than a block) and of an empty key.
TEST(Md5, GivesTheReferenceDigests) {
    const std::string digits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    const struct { std::string input; const char* digest; } md5_cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {digits, "57edf4a22be3c955ac49da2e2107b67a"},
    };
    unsigned char digest[16];
    md5_context context;
    for (const auto& test : md5_cases) {
        for (std::size_t piece : {1, 7, 80}) {
            md5_init(context);
            for (std::size_t at = 0; at < test.input.size(); at += piece)
                md5_update(context, test.input.data() + at, std::min(piece, test.input.size() - at));
            md5_final(digest, context);
            EXPECT_EQ(hex(digest), test.digest) << test.input << " in pieces of " << piece;
        }
    }
    const struct { std::string key, text; const char* digest; } hmac_cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {"", "", "74e6f7298a9c2d168935f58c001bad88"},
    };
    for (const auto& test : hmac_cases) {
        hmac_md5(test.text.data(), test.text.size(), test.key.data(), test.key.size(), digest);
        EXPECT_EQ(hex(digest), test.digest) << test.text;
    }
}

}  // namespace
}  // namespace qm
