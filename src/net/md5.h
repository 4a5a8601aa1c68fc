#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// MD5 (RFC 1321) for the APOP and CRAM-MD5 logins.
struct md5_context {
    std::uint32_t state[4];
    std::uint32_t count[2];  // bits processed, low word first
    unsigned char buffer[64];
};

void md5_init(md5_context& context);
void md5_update(md5_context& context, const void* data, std::size_t length);
// Writes the digest and zeroes the whole context: md5_init before reusing it.
void md5_final(unsigned char digest[16], md5_context& context);

// HMAC-MD5 (RFC 2104).
void hmac_md5(const void* text, std::size_t text_length, const void* key, std::size_t key_length,
              unsigned char digest[16]);

}  // namespace qm
