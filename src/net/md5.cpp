#include "net/md5.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstring>

#include "base/secret_wipe.h"

namespace qm {

// Should OpenSSL fail (no memory, MD5 switched off), the digest comes out as
// zeros: the server then refuses the login, and that is what the user sees.

// EVP_MD_CTX_free cleanses the digest state, which may hold a password.
md5_context::~md5_context() { EVP_MD_CTX_free(evp); }

void md5_init(md5_context& context) {
    if (!context.evp) context.evp = EVP_MD_CTX_new();
    if (context.evp && EVP_DigestInit_ex(context.evp, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(context.evp);
        context.evp = nullptr;
    }
}

void md5_update(md5_context& context, const void* data, std::size_t length) {
    if (context.evp && length) EVP_DigestUpdate(context.evp, data, length);
}

void md5_final(unsigned char digest[16], md5_context& context) {
    unsigned int size = 0;
    if (!context.evp || EVP_DigestFinal_ex(context.evp, digest, &size) != 1 || size != 16)
        std::memset(digest, 0, 16);
    EVP_MD_CTX_free(context.evp);
    context.evp = nullptr;
}

void hmac_md5(const void* text, std::size_t text_length, const void* key, std::size_t key_length,
              unsigned char digest[16]) {
    static const unsigned char no_key = 0;  // OpenSSL wants a pointer also for an empty key
    unsigned char result[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (HMAC(EVP_md5(), key_length ? key : &no_key, static_cast<int>(key_length),
             static_cast<const unsigned char*>(text), text_length, result, &size) && size == 16)
        std::memcpy(digest, result, 16);
    else
        std::memset(digest, 0, 16);
    wipe_secret(result, sizeof result);
}

}  // namespace qm
