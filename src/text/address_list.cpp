#include "text/address_list.h"

#include <algorithm>

#include "base/multibyte.h"
#include "text/mail_address.h"

namespace qm {

namespace {

constexpr auto npos = std::string_view::npos;

// Where a character of an address field stands. The marks that open and
// close a quoted string or a comment belong to it, and so does the character
// a backslash escapes there.
enum class place { text, quoted, comment };

bool is_trail_byte(unsigned char c) { return c >= 0x40 && c != 0x7f && c <= 0xfc; }

// One character: a lead byte takes the byte after it only when that can be a
// second byte. None of the marks that give an address field its structure
// ( " ( ) < > , : ; ) can be one, so a stray lead byte never swallows them.
std::size_t unit_length(std::string_view text, std::size_t pos) {
    return is_lead_byte(text[pos]) && pos + 1 < text.size() && is_trail_byte(static_cast<unsigned char>(text[pos + 1]))
               ? 2
               : 1;
}

// Calls visit(position, length, place) for every character in turn.
template <class Visit>
void walk(std::string_view text, Visit&& visit) {
    bool quoted = false;
    int depth = 0;  // comments nest
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = unit_length(text, pos);
        place where = quoted ? place::quoted : depth > 0 ? place::comment : place::text;
        if (length == 1) {
            char c = text[pos];
            if (where != place::text && c == '\\' && pos + 1 < text.size()) {
                length += unit_length(text, pos + 1);
            } else if (!quoted && c == '(') {
                ++depth;
                where = place::comment;
            } else if (depth > 0 && c == ')') {
                --depth;
            } else if (depth == 0 && c == '"') {
                quoted = !quoted;
                where = place::quoted;
            }
        }
        visit(pos, length, where);
        pos += length;
    }
}

std::string_view trim_blanks(std::string_view text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == npos) return {};
    return text.substr(start, text.find_last_not_of(" \t") + 1 - start);
}

std::string without_comments(std::string_view text) {
    std::string kept;
    walk(text, [&](std::size_t pos, std::size_t length, place where) {
        if (where != place::comment) kept.append(text.substr(pos, length));
    });
    return std::string(trim_blanks(kept));
}

// The address of one mailbox: the text in angle brackets (after a source
// route "@a,@b:" if one leads it) or the mailbox without its comments.
std::string address_in(std::string_view mailbox) {
    std::size_t open = npos, close = npos;
    walk(mailbox, [&](std::size_t pos, std::size_t length, place where) {
        if (where != place::text || length != 1) return;
        if (mailbox[pos] == '<' && open == npos) open = pos;
        else if (mailbox[pos] == '>' && open != npos && close == npos) close = pos;
    });
    if (open == npos) return without_comments(mailbox);
    if (close == npos) return {};
    std::string address = without_comments(mailbox.substr(open + 1, close - open - 1));
    if (address.starts_with('@')) address.erase(0, std::min(address.find(':'), address.size() - 1) + 1);
    return address;
}

void add_mailbox(std::vector<listed_mailbox>& list, std::string_view item) {
    std::string_view written = trim_blanks(item);
    if (written.empty()) return;
    std::string address = address_in(written);
    if (!is_envelope_address(address)) address.clear();
    list.push_back({std::string(written), std::move(address)});
}

bool is_address_atom(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c != '@' && is_atom_char(c); });
}

bool is_quoted_local_part(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    for (std::size_t pos = 1; pos + 1 < text.size(); ++pos) {
        if (text[pos] == '"') return false;
        if (text[pos] == '\\') ++pos;  // the closing quote cannot be escaped: the loop ends before it
    }
    return true;
}

bool is_domain_literal(std::string_view text) {
    return text.size() >= 2 && text.front() == '[' && text.back() == ']' &&
           text.substr(1, text.size() - 2).find_first_of("[]\\ ") == npos;
}

}  // namespace

std::vector<listed_mailbox> list_mailboxes(std::string_view field_value) {
    std::vector<listed_mailbox> list;
    std::size_t start = 0;
    bool angle = false, group = false, at = false;
    walk(field_value, [&](std::size_t pos, std::size_t length, place where) {
        if (where != place::text || length != 1) return;
        const char c = field_value[pos];
        if (c == '<') {
            angle = true;
        } else if (c == '>') {
            angle = false;
        } else if (c == '@') {
            at = true;
        } else if (angle) {
            // A source route's commas and colon separate nothing.
        } else if (c == ',' || (c == ';' && group)) {
            add_mailbox(list, field_value.substr(start, pos - start));
            start = pos + 1;
            at = false;
            group = group && c == ',';
        } else if (c == ':' && !group && !at) {
            // The group's name names nobody.
            group = true;
            start = pos + 1;
        }
    });
    add_mailbox(list, field_value.substr(start));
    return list;
}

bool is_envelope_address(std::string_view address) {
    if (std::any_of(address.begin(), address.end(), [](char c) {
            auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte > 0x7e;
        }))
        return false;
    std::size_t at = address.rfind('@');
    if (at == npos) return false;
    std::string_view local = address.substr(0, at), domain = address.substr(at + 1);
    // Dots are not checked further: mobile carriers have long handed out
    // local parts with leading, trailing or doubled dots.
    return (is_address_atom(local) || is_quoted_local_part(local)) &&
           (is_address_atom(domain) || is_domain_literal(domain));
}

}  // namespace qm
