#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/find_nocase.h"
#include "message/draft_header.h"

namespace qm {

class open_directory;

// Whether a header line belongs to the field `name`: it starts with the
// name, compared over the name's length without regard to case (so "To"
// also takes "Token:"). Every lookup of the store's headers asks this one
// question; only the envelope of outgoing mail looks fields up by their
// exact names (header_reader::fields).
inline bool is_field_line(std::string_view line, std::string_view name) { return starts_with_nocase(line, name); }

// A message header ("0", or a draft's header) read once into memory as a
// text-mode read gives it, and the lookups the list, compose, reply and
// forward and the outbox make in it. The text is looked at in three ways,
// each as the store has always read it:
//  - whole lines, however long (subject, tokens, which fields are there);
//  - message line pieces: a line cut after every 1000 bytes, as the status
//    line, the date and addresses are read (a piece of a long line is no
//    blank line and no field);
//  - fields with their continuation lines joined, by exact name (the
//    envelope and the header that is sent).
class header_reader {
public:
    header_reader() = default;
    explicit header_reader(std::string text) : text_(std::move(text)) {}

    // Reads the header file; false, with no text held, when it cannot be read.
    bool read(std::string_view path);
    // The same for a file of an open directory; `file_bytes` takes the
    // file's size as read.
    bool read(const open_directory& directory, std::string_view name, std::size_t* file_bytes = nullptr);

    const std::string& text() const { return text_; }

    // The first whole line that starts with the field's name and holds a ":".
    std::optional<std::string_view> field_line(std::string_view name) const;
    // The first whole line that starts with the name, ":" or not.
    std::optional<std::string_view> line_starting(std::string_view name) const;
    bool has_line(std::string_view name) const { return line_starting(name).has_value(); }
    bool has_any_line(std::span<const std::string_view> names) const;

    // The value of the field's first line after its ":" and the blanks
    // after that, without the line feed.
    std::optional<std::string_view> value(std::string_view name) const;
    // The subject, cut to capacity - 1 bytes; "???" when there is none.
    std::string subject(std::size_t capacity) const;
    // The first word of the field's first line (up to a blank or the line
    // end), as for "Message-ID"; nullopt when the field is not there.
    std::optional<std::string> token(std::string_view name, std::size_t capacity) const;
    // The first word of the field's value, which may begin on a continuation
    // line; empty when the field is missing or holds nothing.
    std::string first_word(std::string_view name, std::size_t capacity) const;
    // The words of the field's value over its continuation lines (the ids of
    // References), each cut to capacity - 1 bytes, at most `count` of them.
    std::vector<std::string> words(std::string_view name, std::size_t capacity,
                                   std::size_t count = static_cast<std::size_t>(-1)) const;

    // The first message line piece that starts with the name.
    std::optional<std::string_view> piece_starting(std::string_view name) const;
    // The address at `index` (0 = the first) of an address field, over its
    // continuation lines, with its display name, from the header up to the
    // blank line that ends it. False when the field or that address is not
    // there, or when the address is malformed.
    bool address(std::string_view field, int index, std::string& address, std::size_t address_capacity,
                 std::string& name, std::size_t name_capacity) const;

    // Every field, continuation lines joined (see draft_header_fields).
    std::vector<header_field> fields() const { return draft_header_fields(text_); }

private:
    std::string text_;
};

}  // namespace qm
