#pragma once

#include <string>
#include <string_view>

namespace qm {

// Base64 with the RFC 2045 alphabet and "=" as the pad character.

// Decodes one group of four characters and appends its one to three bytes
// to `out`; returns their number. A "=" in the third place ends the group
// after one byte, in the fourth after two. -1 for an invalid group (a
// character without a value, a pad in the first or second place, fewer than
// the characters needed); nothing is appended then.
int base64_decode_group(std::string_view group, std::string& out);

// The encoding of all the bytes (zero bytes included), without line breaks:
// 4 * ceil(n / 3) characters.
std::string base64_encode_text(std::string_view input);

// Decodes a Base64 body and appends its bytes to `out`. Line breaks, blanks
// and tabs between the characters are skipped (RFC 2045 lets lines carry
// them), and nothing after the first pad character is looked at. False when
// a character outside the alphabet occurs or the last group is incomplete.
bool base64_decode_body(std::string_view text, std::string& out);

}  // namespace qm
