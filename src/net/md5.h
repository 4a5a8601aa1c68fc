#pragma once

#include <cstddef>

struct evp_md_ctx_st;

namespace qm {

// MD5 (RFC 1321) for the APOP and CRAM-MD5 logins, computed by OpenSSL.
struct md5_context {
    evp_md_ctx_st* evp = nullptr;

    md5_context() = default;
    md5_context(const md5_context&) = delete;
    md5_context& operator=(const md5_context&) = delete;
    ~md5_context();
};

void md5_init(md5_context& context);
void md5_update(md5_context& context, const void* data, std::size_t length);
// Writes the digest and frees OpenSSL's state, which it wipes: md5_init before reusing it.
void md5_final(unsigned char digest[16], md5_context& context);

// HMAC-MD5 (RFC 2104).
void hmac_md5(const void* text, std::size_t text_length, const void* key, std::size_t key_length,
              unsigned char digest[16]);

}  // namespace qm
