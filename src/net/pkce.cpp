#include "net/pkce.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <vector>

#include "base/secret_wipe.h"
#include "text/base64.h"

namespace qm {

std::string base64url(std::string_view bytes) {
    std::string text = base64_encode_text(bytes);
    while (!text.empty() && text.back() == '=') text.pop_back();
    for (char& c : text) {
        if (c == '+') c = '-';
        else if (c == '/') c = '_';
    }
    return text;
}

std::string random_url_token(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    // Without randomness there is no safe request at all: an empty token
    // makes the caller give up.
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) return "";
    std::string token = base64url(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
    wipe_secret(random.data(), random.size());
    return token;
}

std::string pkce_verifier() { return random_url_token(32); }

std::string pkce_challenge(std::string_view verifier) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_Digest(verifier.data(), verifier.size(), digest, &length, EVP_sha256(), nullptr) != 1) return "";
    return base64url(std::string_view(reinterpret_cast<const char*>(digest), length));
}

}  // namespace qm
