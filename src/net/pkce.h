#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Proof Key for Code Exchange (RFC 7636) and the state of an authorization
// request: random texts in the URL-safe Base64 alphabet, without padding.

// `bytes` random bytes from OpenSSL's generator, URL-safe Base64.
std::string random_url_token(std::size_t bytes);
// A verifier of 43 characters (32 random bytes).
std::string pkce_verifier();
// The S256 challenge: URL-safe Base64 of the verifier's SHA-256.
std::string pkce_challenge(std::string_view verifier);
// URL-safe Base64 without padding ('-' and '_' for '+' and '/').
std::string base64url(std::string_view bytes);

}  // namespace qm
