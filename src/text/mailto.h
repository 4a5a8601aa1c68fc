#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A mailto: link (RFC 6068) as the new-mail dialog takes it. The addresses
// of the path and of the "to" fields, and those of the "cc" fields, are bare
// addresses (ASCII); the subject and the body are CP932, the subject on one
// line, the body with LF line ends. Other fields ("bcc", "in-reply-to", ...)
// are not taken: a link must not add hidden recipients or header lines.
struct mailto_link {
    std::vector<std::string> to, cc;
    std::string subject, body;
    // A character CP932 does not have was replaced by the full-width "？".
    bool replaced = false;
};

enum class mailto_result {
    ok,
    not_mailto,       // no "mailto:" scheme, or longer than mailto_length_limit
    bad_escape,       // a "%" without two hexadecimal digits, or an encoded NUL
    bad_utf8,         // decoded bytes that are not UTF-8
    bad_address,      // an address that is not a valid mail address
};

// What a link may hold at most, in bytes; longer ones are refused whole.
inline constexpr std::size_t mailto_length_limit = 64 * 1024;

// Whether the text starts with the scheme "mailto:" (in any case).
bool is_mailto_uri(std::string_view text);

// Reads a mailto: link. Percent escapes are decoded everywhere ("+" stays a
// plus sign); field names are matched in any case; a subject given twice
// keeps the first, bodies given twice are joined by a line feed. On any
// result but ok `link` is left empty.
mailto_result parse_mailto(std::string_view uri, mailto_link& link);

// The recipient the new-mail dialog is given: the first "to" address, else
// the first "cc" address, else nothing. The dialog takes one recipient.
std::string first_recipient(const mailto_link& link);
// The addresses of the link that first_recipient leaves out, in order.
std::vector<std::string> left_out_recipients(const mailto_link& link);

}  // namespace qm
