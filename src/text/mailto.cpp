#include "text/mailto.h"

#include <algorithm>
#include <optional>

#include "base/hex_digits.h"
#include "text/mail_address.h"
#include "text/utf8_sjis.h"

namespace qm {

namespace {

constexpr std::string_view scheme = "mailto:";
// split_address takes a capacity with room for a terminating byte.
constexpr std::size_t address_capacity = 256;

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower_ascii(x) == lower_ascii(y); });
}

// The bytes the escapes stand for; nullopt for a broken escape or an
// encoded NUL, which no mail text may hold.
std::optional<std::string> percent_decoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes.push_back(text[i]);
            continue;
        }
        int value = 0;
        if (read_hex(text, i + 1, 2, value) != 2 || value == 0) return std::nullopt;
        bytes.push_back(static_cast<char>(value));
        i += 2;
    }
    return bytes;
}

bool is_utf8(std::string_view bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) ||
           is_8bit_utf8(bytes);
}

// UTF-8 to CP932; `replaced` is set when a character had no CP932 form.
std::string cp932_text(std::string_view utf8, bool& replaced) {
    std::string text = utf8_to_sjis_copy(utf8);
    // The only way to lose a character is the replacement, so a "？" the
    // text did not hold as U+FF1F marks one.
    const auto marks = [](std::string_view s, std::string_view mark) {
        std::size_t count = 0;
        for (std::size_t at = s.find(mark); at != std::string_view::npos; at = s.find(mark, at + mark.size())) ++count;
        return count;
    };
    if (marks(text, "\x81\x48") != marks(utf8, "\xEF\xBC\x9F")) replaced = true;
    return text;
}

// CR LF and a lone CR become LF.
std::string with_lf_line_ends(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            lines.push_back(text[i]);
            continue;
        }
        lines.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return lines;
}

// A subject is one header line: its line ends and other controls become
// spaces rather than cutting it short.
std::string on_one_line(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return text;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Adds the comma-separated addresses of decoded text to `addresses`; an
// item may be a bare address or "Name <address>". False for an item that
// holds no valid address.
bool add_addresses(std::string_view decoded, std::vector<std::string>& addresses) {
    for (std::size_t pos = 0; pos <= decoded.size();) {
        const std::size_t end = find_address_end(decoded, pos);
        if (end == std::string_view::npos) return false;
        const std::string_view item = trimmed(decoded.substr(pos, end - pos));
        if (!item.empty()) {
            // A bare item is the address itself, not the part of it that
            // looks like one.
            std::string address(item);
            if (item.find('<') != std::string_view::npos &&
                !split_address(item, nullptr, 0, &address, address_capacity))
                return false;
            if (!is_valid_address(address) || address.front() == '@') return false;
            addresses.push_back(address);
        }
        if (end >= decoded.size() || decoded[end] == '\n') break;
        pos = end + 1;
    }
    return true;
}

mailto_result take_addresses(std::string_view encoded, std::vector<std::string>& addresses) {
    const std::optional<std::string> decoded = percent_decoded(encoded);
    if (!decoded) return mailto_result::bad_escape;
    if (!is_utf8(*decoded)) return mailto_result::bad_utf8;
    if (decoded->find('\n') != std::string::npos || !add_addresses(*decoded, addresses))
        return mailto_result::bad_address;
    return mailto_result::ok;
}

mailto_result take_field(std::string_view field, mailto_link& link, bool& has_subject) {
    const std::size_t equals = field.find('=');
    const std::optional<std::string> name = percent_decoded(field.substr(0, equals));
    if (!name) return mailto_result::bad_escape;
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
    if (equals_nocase(*name, "to")) return take_addresses(value, link.to);
    if (equals_nocase(*name, "cc")) return take_addresses(value, link.cc);
    const bool subject = equals_nocase(*name, "subject");
    if (!subject && !equals_nocase(*name, "body")) {
        // Still checked, so that a broken link is refused whole.
        return percent_decoded(value) ? mailto_result::ok : mailto_result::bad_escape;
    }
    const std::optional<std::string> decoded = percent_decoded(value);
    if (!decoded) return mailto_result::bad_escape;
    if (!is_utf8(*decoded)) return mailto_result::bad_utf8;
    if (subject) {
        if (!has_subject) link.subject = on_one_line(cp932_text(*decoded, link.replaced));
        has_subject = true;
    } else {
        if (!link.body.empty()) link.body.push_back('\n');
        link.body += with_lf_line_ends(cp932_text(*decoded, link.replaced));
    }
    return mailto_result::ok;
}

mailto_result read_link(std::string_view uri, mailto_link& link) {
    if (uri.size() > mailto_length_limit || !is_mailto_uri(uri)) return mailto_result::not_mailto;
    uri.remove_prefix(scheme.size());
    // A fragment is not part of the message.
    uri = uri.substr(0, uri.find('#'));
    const std::size_t question = uri.find('?');
    if (mailto_result r = take_addresses(uri.substr(0, question), link.to); r != mailto_result::ok) return r;
    if (question == std::string_view::npos) return mailto_result::ok;
    bool has_subject = false;
    std::string_view query = uri.substr(question + 1);
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        if (!field.empty()) {
            if (mailto_result r = take_field(field, link, has_subject); r != mailto_result::ok) return r;
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return mailto_result::ok;
}

}  // namespace

bool is_mailto_uri(std::string_view text) { return equals_nocase(text.substr(0, scheme.size()), scheme); }

mailto_result parse_mailto(std::string_view uri, mailto_link& link) {
    mailto_link read;
    const mailto_result result = read_link(uri, read);
    link = result == mailto_result::ok ? std::move(read) : mailto_link{};
    return result;
}

std::string first_recipient(const mailto_link& link) {
    if (!link.to.empty()) return link.to.front();
    if (!link.cc.empty()) return link.cc.front();
    return {};
}

std::vector<std::string> left_out_recipients(const mailto_link& link) {
    std::vector<std::string> all = link.to;
    all.insert(all.end(), link.cc.begin(), link.cc.end());
    if (!all.empty()) all.erase(all.begin());
    return all;
}

}  // namespace qm
