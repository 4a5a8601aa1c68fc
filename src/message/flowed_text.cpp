#include "message/flowed_text.h"

#include "text/encoded_words.h"

namespace qm {

namespace {

constexpr char esc = '\x1b';
constexpr std::string_view signature_separator = "-- ";
constexpr std::string_view to_ascii = "\x1b(B";
constexpr std::size_t escape_length = 3;

// The shift state of ISO-2022-JP text: what its last escape sequence chose.
enum class shift { ascii, kanji, katakana };

std::string_view escape_into(shift state) {
    switch (state) {
    case shift::kanji:
        return "\x1b$B";
    case shift::katakana:
        return "\x1b(I";
    default:
        return to_ascii;
    }
}

shift state_chosen_by(std::string_view escape) {
    if (escape == escape_into(shift::kanji)) return shift::kanji;
    if (escape == escape_into(shift::katakana)) return shift::katakana;
    return shift::ascii;
}

// The escape sequences at `pos` and the one character after them (two bytes
// in the kanji state), which a cut keeps together.
struct unit {
    std::size_t length = 0;
    shift state_after = shift::ascii;
    bool starts_with_escape = false;
};

unit next_unit(std::string_view text, std::size_t pos, shift state) {
    unit u{0, state, pos < text.size() && text[pos] == esc};
    std::size_t at = pos;
    while (at + escape_length <= text.size() && text[at] == esc) {
        u.state_after = state_chosen_by(text.substr(at, escape_length));
        at += escape_length;
    }
    if (at < text.size()) at += u.state_after == shift::kanji && at + 1 < text.size() ? 2 : 1;
    u.length = at - pos;
    return u;
}

// Whether the text, read in `state`, begins with a character a reader would
// take for stuffing or a quote (or that mbox files mangle). Readers look at
// characters, so escape sequences in front of it do not count.
bool needs_stuffing(std::string_view text, shift state) {
    while (text.size() >= escape_length && text[0] == esc) {
        state = state_chosen_by(text.substr(0, escape_length));
        text.remove_prefix(escape_length);
    }
    return state == shift::ascii && !text.empty() &&
           (text[0] == ' ' || text[0] == '>' || text.starts_with("From "));
}

std::string stuffed(std::string_view text) {
    return needs_stuffing(text, shift::ascii) ? " " + std::string(text) : std::string(text);
}

// Cuts a long line into pieces of at most flowed_line_width characters.
class line_cutter {
public:
    explicit line_cutter(std::string_view text) : text_(text) {}

    std::vector<std::string> cut() {
        std::vector<std::string> lines;
        while (pos_ < text_.size()) lines.push_back(next_piece());
        return lines;
    }

private:
    std::string next_piece() {
        const std::size_t start = pos_;
        const shift start_state = state_;
        const bool reenter = start_state != shift::ascii && !next_unit(text_, pos_, state_).starts_with_escape;
        const bool stuff = needs_stuffing(text_.substr(pos_), state_);
        std::size_t width = (stuff ? 1 : 0) + (reenter ? escape_length : 0);
        std::size_t space_end = 0;
        while (pos_ < text_.size()) {
            unit u = next_unit(text_, pos_, state_);
            bool more = pos_ + u.length < text_.size();
            std::size_t needed = width + u.length + (u.state_after != shift::ascii ? escape_length : 0) + (more ? 1 : 0);
            if (needed > flowed_line_width && pos_ > start) break;
            width += u.length;
            pos_ += u.length;
            state_ = u.state_after;
            if (state_ == shift::ascii && text_[pos_ - 1] == ' ') space_end = pos_;
        }
        // Words stay whole where a space in the second half of the piece allows it.
        if (pos_ < text_.size() && space_end > start && (space_end - start) * 2 > flowed_line_width) {
            pos_ = space_end;
            state_ = shift::ascii;
        }
        std::string line(stuff ? " " : "");
        if (reenter) line += escape_into(start_state);
        line += text_.substr(start, pos_ - start);
        if (state_ != shift::ascii) line += to_ascii;
        if (pos_ < text_.size()) line += ' ';
        return line;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    shift state_ = shift::ascii;
};

}  // namespace

std::vector<std::string> flowed_lines(std::string_view wire_line) {
    std::string_view text = wire_line;
    if (text != signature_separator) {
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    }
    std::string whole = stuffed(text);
    if (whole.size() <= wire_line_limit) return {std::move(whole)};
    return line_cutter(text).cut();
}

}  // namespace qm
