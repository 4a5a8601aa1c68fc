#include "text/encoded_words.h"

#include <algorithm>
#include <optional>

#include "text/base64.h"
#include "text/charset_conversion.h"
#include "base/find_nocase.h"
#include "base/hex_digits.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"

namespace qm {

namespace {

constexpr char esc = '\x1b';

// ---- writing ----

constexpr std::size_t fold_column = 76;
constexpr std::size_t word_start_width = 36;  // a word's start and one group must fit
constexpr std::size_t group_pair_width = 16;
constexpr std::size_t tail_pair_width = 12;
constexpr std::size_t bytes_per_pair = 6;     // three kanji, eight Base64 characters
constexpr std::string_view word_start = "=?ISO-2022-JP?B?GyRC";
constexpr std::string_view word_split = "GyhC?=\n =?ISO-2022-JP?B?GyRC";
constexpr std::string_view word_end = "?=";
constexpr std::string_view fold_text = "\n ";

// Output with the column of the current line and the capacity limit.
class header_writer {
public:
    header_writer(std::string& out, std::size_t capacity) : out_(out), capacity_(capacity) { out_.clear(); }

    std::size_t column() const { return column_; }
    bool failed() const { return failed_; }

    // Writes text; a line feed in it starts a new line.
    void write(std::string_view text) {
        if (failed_) return;
        if (out_.size() + text.size() + 1 > capacity_) {  // the terminating zero byte too
            failed_ = true;
            return;
        }
        out_.append(text);
        std::size_t lf = text.rfind('\n');
        std::string_view last_line = lf == std::string_view::npos ? text : text.substr(lf + 1);
        column_ = lf == std::string_view::npos ? column_ + text.size() : last_line.size();
        bool blank = last_line.find_first_not_of(" \t") == std::string_view::npos;
        line_is_blank_ = blank && (line_is_blank_ || lf != std::string_view::npos);
    }

    // Continues on a new line, unless the current line holds only blanks:
    // mail software may take a line of blanks for the end of the header.
    void fold() {
        if (!line_is_blank_) write(fold_text);
    }
    // The same before a blank, which then begins the continuation line.
    void break_before_blank() {
        if (!line_is_blank_) write("\n");
    }

private:
    std::string& out_;
    std::size_t capacity_;
    std::size_t column_ = 0;
    bool line_is_blank_ = true;
    bool failed_ = false;
};

// The bytes of a kanji run: from after ESC "$" and its final byte up to and
// including the closing ESC "(" sequence, or to the end of the line when it
// has none.
std::string_view kanji_run(std::string_view line, std::size_t escape_pos) {
    std::size_t start = std::min(escape_pos + 3, line.size());
    std::size_t limit = std::min(line.find('\n', start), line.size());
    std::size_t end = limit;
    for (std::size_t pos = start; pos + 1 < limit; ++pos) {
        if (line[pos] == esc && line[pos + 1] == '(') {
            end = std::min(pos + 3, limit);
            break;
        }
    }
    return line.substr(start, end - start);
}

bool only_blanks_follow(std::string_view line, std::size_t pos) {
    std::size_t next = line.find_first_not_of(" \t", pos);
    return next == std::string_view::npos || line[next] == '\n';
}

void write_encoded_run(header_writer& out, std::string_view run) {
    if (out.column() + word_start_width > fold_column) out.fold();
    out.write(word_start);
    std::size_t pos = 0;
    // Whole groups while more than the tail (one, three or five bytes) remain.
    while (run.size() - pos > 5) {
        if (out.column() + group_pair_width > fold_column) out.write(word_split);
        out.write(base64_encode_text(run.substr(pos, bytes_per_pair)));
        pos += bytes_per_pair;
    }
    std::string_view rest = run.substr(pos);
    if (rest.size() > 3 && out.column() + tail_pair_width > fold_column) out.write(word_split);
    out.write(base64_encode_text(rest));
    out.write(word_end);
}

// The length of the plain text that starts at `pos`, up to a blank, the line
// end or a kanji run.
std::size_t plain_word_length(std::string_view line, std::size_t pos) {
    std::size_t end = pos;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\n' &&
           !(line[end] == esc && end + 1 < line.size() && line[end + 1] == '$'))
        ++end;
    return end - pos;
}

std::size_t longest_line(std::string_view text) {
    std::size_t longest = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.find('\n', start), text.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

// Kanji runs become encoded words, folded at column 76; after the first word
// every blank starts a continuation line. With `fold_plain_text` a blank
// also starts one where the plain word after it would pass column 76.
bool encode_line_folding(std::string& output, std::size_t capacity, std::string_view jis_line, bool fold_plain_text) {
    header_writer out(output, capacity);
    bool encoded = false;
    std::size_t pos = 0;
    while (pos < jis_line.size() && !out.failed()) {
        char c = jis_line[pos];
        if (c == esc && pos + 1 < jis_line.size() && jis_line[pos + 1] == '$') {
            std::string_view run = kanji_run(jis_line, pos);
            encoded = true;
            write_encoded_run(out, run);
            pos = static_cast<std::size_t>(run.data() + run.size() - jis_line.data());
            continue;
        }
        // No fold before blanks that end the line: it would leave a line of
        // blanks only.
        bool blank = c == ' ' || c == '\t';
        bool ends_line = c == '\n' || (blank && only_blanks_follow(jis_line, pos));
        bool folds = encoded && (blank || out.column() + 2 >= fold_column);
        if (folds && !ends_line) {
            out.fold();
        } else if (fold_plain_text && blank && !ends_line &&
                   out.column() + 1 + plain_word_length(jis_line, pos + 1) > fold_column) {
            out.break_before_blank();
        }
        out.write(std::string_view(&c, 1));
        if (c == '\n') encoded = false;
        ++pos;
    }
    return !out.failed() && output.size() + 1 <= capacity;
}

// ---- decoding ----

constexpr std::string_view iso2022jp_b_prefix = "=?ISO-2022-JP?B?";
constexpr std::string_view sjis_b_prefix = "=?SHIFT_JIS?B?";
constexpr std::string_view utf8_b_prefix = "=?UTF-8?B?";
constexpr std::string_view utf8_q_prefix = "=?UTF-8?Q?";
constexpr std::string_view word_close = "?=";

void neutralize_line_breaks(std::string& bytes) {
    for (char& c : bytes) {
        if (c == '\0' || c == '\r' || c == '\n') c = ' ';
    }
}

std::string decode_b_text(std::string_view text) {
    std::string bytes;
    for (std::size_t pos = 0; pos + 4 <= text.size(); pos += 4) base64_decode_group(text.substr(pos, 4), bytes);
    return bytes;
}

std::string decode_q_text(std::string_view text) {
    std::string bytes;
    for (std::size_t pos = 0; pos < text.size();) {
        char c = text[pos];
        int value;
        std::size_t digits = c == '=' ? read_hex(text, pos + 1, 2, value) : 0;
        if (digits > 0) {
            bytes.push_back(static_cast<char>(value));
            pos += 1 + digits;
        } else {
            bytes.push_back(c == '_' ? ' ' : c);
            ++pos;
        }
    }
    return bytes;
}

// The charset of an encoded word without an RFC 2231 language ("*en").
std::string_view bare_charset(std::string_view charset) { return charset.substr(0, charset.find('*')); }

bool is_native_charset(std::string_view charset) {
    return equals_nocase(charset, "ISO-2022-JP") || equals_nocase(charset, "SHIFT_JIS") ||
           equals_nocase(charset, "UTF-8");
}

// Decoded bytes of a word in `charset`, as the line holds them until the
// final ISO-2022-JP conversion: ISO-2022-JP and Shift_JIS keep their bytes,
// UTF-8 and every other known charset become CP932. nullopt for a charset
// the converter does not know.
std::optional<std::string> word_text(std::string_view charset, std::string bytes) {
    charset = bare_charset(charset);
    if (equals_nocase(charset, "ISO-2022-JP") || equals_nocase(charset, "SHIFT_JIS")) {
        neutralize_line_breaks(bytes);
        return bytes;
    }
    if (equals_nocase(charset, "UTF-8")) {
        neutralize_line_breaks(bytes);
        utf8_to_sjis(bytes);
        return bytes;
    }
    std::optional<std::string> converted = convert_to_cp932(charset, bytes);
    if (converted) neutralize_line_breaks(*converted);
    return converted;
}

// The first "?=" at or after a position of a line, remembered: the words of
// a line are looked at from left to right, and looking for the same far end
// again for every word would take time that grows with the square of the
// line's length.
class close_finder {
public:
    explicit close_finder(std::string_view line) : line_(line) {}

    std::size_t at_or_after(std::size_t from) {
        bool known = searched_ && from >= from_ && (found_ == std::string_view::npos || from <= found_);
        if (!known) {
            found_ = line_.find(word_close, from);
            from_ = from;
            searched_ = true;
        }
        return found_;
    }

private:
    std::string_view line_;
    std::size_t from_ = 0;
    std::size_t found_ = std::string_view::npos;
    bool searched_ = false;
};

// A line rebuilt from the words found in it: the text between the words is
// copied, each decoded word put in place of its encoded form. The words are
// found in the line as it was, which is where an in-place decoder would
// look for them too: after a decoded word, or one character after a word
// left encoded.
class word_replacer {
public:
    explicit word_replacer(std::string& line) : line_(line), source_(line) {}

    std::string_view source() const { return source_; }
    void replace(std::size_t start, std::size_t end, std::string_view text) {
        out_.append(source_, copied_, start - copied_);
        out_.append(text);
        copied_ = end;
        replaced_ = true;
    }
    // Puts the rebuilt line in place; whether any word was replaced.
    bool finish() {
        if (!replaced_) return false;
        out_.append(source_, copied_);
        line_ = std::move(out_);
        return true;
    }

private:
    std::string& line_;
    std::string source_;
    std::string out_;
    std::size_t copied_ = 0;
    bool replaced_ = false;
};

// Replaces every complete Base64 word with the prefix by its raw bytes.
bool decode_prefixed_b_words(std::string& line, std::string_view prefix) {
    std::size_t pos = find_nocase(line, prefix);
    if (pos == std::string::npos) return false;
    word_replacer words(line);
    std::string_view source = words.source();
    close_finder closes(source);
    while (pos != std::string::npos) {
        std::size_t text_start = pos + prefix.size();
        std::size_t end = closes.at_or_after(text_start);
        // No later occurrence can have an end either.
        if (end == std::string::npos) break;
        if ((end - text_start) % 4 != 0) {
            pos = find_nocase(source, prefix, pos + 1);
            continue;
        }
        std::string bytes = decode_b_text(source.substr(text_start, end - text_start));
        neutralize_line_breaks(bytes);
        words.replace(pos, end + word_close.size(), bytes);
        pos = find_nocase(source, prefix, end + word_close.size());
    }
    words.finish();
    return true;
}

// An encoded word "=?charset?X?text?=" found in a line.
struct encoded_word {
    std::size_t start;  // of "=?"
    std::size_t end;    // after "?="
    std::string_view charset;
    char encoding;      // 'B' or 'Q', upper case
    std::string_view text;
};

// The next complete encoded word at or after `from` whose encoding is one of
// `encodings`; `closes` looks in the same line.
std::optional<encoded_word> next_word(std::string_view line, std::size_t from, std::string_view encodings,
                                      close_finder& closes) {
    for (std::size_t pos = line.find("=?", from); pos != std::string_view::npos; pos = line.find("=?", pos + 1)) {
        std::size_t charset_end = line.find('?', pos + 2);
        if (charset_end == std::string_view::npos || charset_end + 2 >= line.size()) return std::nullopt;
        char encoding = line[charset_end + 1];
        if (encoding >= 'a' && encoding <= 'z') encoding = static_cast<char>(encoding - 'a' + 'A');
        if (line[charset_end + 2] != '?' || encodings.find(encoding) == std::string_view::npos) continue;
        std::size_t text_start = charset_end + 3;
        std::size_t close = closes.at_or_after(text_start);
        // No later word can have an end either.
        if (close == std::string_view::npos) return std::nullopt;
        return encoded_word{pos, close + word_close.size(), line.substr(pos + 2, charset_end - pos - 2), encoding,
                            line.substr(text_start, close - text_start)};
    }
    return std::nullopt;
}

// ---- RFC 2231 sections ----

constexpr std::string_view filename_star = "filename*";

struct filename_section {
    std::size_t end;  // after the value (and its closing quote)
    std::string charset;
    std::string value;
};

std::string percent_decode(std::string_view text) {
    std::string bytes;
    for (std::size_t pos = 0; pos < text.size();) {
        int value;
        if (text[pos] == '%' && read_hex(text, pos + 1, 2, value) == 2) {
            bytes.push_back(static_cast<char>(value));
            pos += 3;
        } else {
            bytes.push_back(text[pos++]);
        }
    }
    return bytes;
}

// The section whose name "filename*" begins at `name_pos`; nullopt when no
// "=" follows it. Only the first section carries charset and language.
std::optional<filename_section> read_filename_section(std::string_view line, std::size_t name_pos, bool first) {
    std::size_t star = name_pos + filename_star.size() - 1;
    std::size_t equals = line.find('=', star);
    if (equals == std::string_view::npos) return std::nullopt;
    bool extended = line[equals - 1] == '*';

    std::size_t start = equals + 1;
    bool quoted = start < line.size() && line[start] == '"';
    if (quoted) ++start;
    std::size_t stop = line.find_first_of(quoted ? "\"\n" : "\";\n", start);
    if (stop == std::string_view::npos) stop = line.size();
    std::string_view content = line.substr(start, stop - start);
    if (!quoted) {
        while (!content.empty() && (content.back() == ' ' || content.back() == '\t')) content.remove_suffix(1);
    }

    filename_section section{quoted && stop < line.size() && line[stop] == '"' ? stop + 1 : stop, "", ""};
    if (!extended) {
        section.value = content;
    } else {
        if (first && !content.empty() && content[0] != '%') {
            std::size_t first_quote = content.find('\'');
            std::size_t second_quote =
                first_quote == std::string_view::npos ? first_quote : content.find('\'', first_quote + 1);
            if (second_quote != std::string_view::npos) {
                section.charset = content.substr(0, first_quote);
                content.remove_prefix(second_quote + 1);
            }
        }
        section.value = percent_decode(content);
    }
    neutralize_line_breaks(section.value);
    return section;
}

}  // namespace

bool encode_header_line(std::string& output, std::size_t capacity, std::string_view jis_line) {
    if (!encode_line_folding(output, capacity, jis_line, false)) return false;
    if (longest_line(output) <= wire_line_limit) return true;
    // Too long for the wire: plain text is folded at its blanks as well.
    return encode_line_folding(output, capacity, jis_line, true) && longest_line(output) <= wire_line_limit;
}

bool decode_iso2022jp_b_words(std::string& line) { return decode_prefixed_b_words(line, iso2022jp_b_prefix); }
bool decode_sjis_b_words(std::string& line) { return decode_prefixed_b_words(line, sjis_b_prefix); }
bool decode_utf8_b_words(std::string& line) { return decode_prefixed_b_words(line, utf8_b_prefix); }

bool decode_utf8_q_words(std::string& line) {
    std::size_t pos = find_nocase(line, utf8_q_prefix);
    if (pos == std::string::npos) return false;
    word_replacer words(line);
    std::string_view source = words.source();
    close_finder closes(source);
    while (pos != std::string::npos) {
        std::size_t text_start = pos + utf8_q_prefix.size();
        std::size_t end = closes.at_or_after(text_start);
        // No later occurrence can have an end either.
        if (end == std::string::npos) break;
        std::string bytes = decode_q_text(source.substr(text_start, end - text_start));
        neutralize_line_breaks(bytes);
        words.replace(pos, end + word_close.size(), bytes);
        pos = find_nocase(source, utf8_q_prefix, end + word_close.size());
    }
    return words.finish();
}

bool decode_any_q_words(std::string& line) {
    word_replacer words(line);
    std::string_view source = words.source();
    close_finder closes(source);
    std::size_t from = 0;
    while (auto word = next_word(source, from, "Q", closes)) {
        std::string bytes = decode_q_text(word->text);
        std::optional<std::string> text = word_text(word->charset, bytes);
        if (!text) {
            // Unknown charset: the raw bytes.
            neutralize_line_breaks(bytes);
            text = std::move(bytes);
        }
        words.replace(word->start, word->end, *text);
        from = word->end;
    }
    return words.finish();
}

bool decode_other_charset_b_words(std::string& line) {
    word_replacer words(line);
    std::string_view source = words.source();
    close_finder closes(source);
    std::size_t from = 0;
    while (auto word = next_word(source, from, "B", closes)) {
        std::optional<std::string> text;
        if (!is_native_charset(bare_charset(word->charset)) && word->text.size() % 4 == 0)
            text = word_text(word->charset, decode_b_text(word->text));
        if (!text) {
            from = word->start + 1;
            continue;
        }
        words.replace(word->start, word->end, *text);
        from = word->end;
    }
    return words.finish();
}

void decode_filename_star(std::string& line) {
    std::size_t name_pos = find_nocase(line, filename_star);
    if (name_pos == std::string::npos) return;
    std::optional<filename_section> first = read_filename_section(line, name_pos, true);
    if (!first) return;
    std::string value = first->value;

    // Each further section is taken out of the line with the separator
    // before it, and its value continues the first one.
    std::size_t search = first->end;
    for (std::size_t next_pos; (next_pos = find_nocase(line, filename_star, search)) != std::string::npos;) {
        std::optional<filename_section> next = read_filename_section(line, next_pos, false);
        if (!next) break;
        value += next->value;
        std::size_t cut = next_pos;
        while (cut > first->end && (line[cut - 1] == ' ' || line[cut - 1] == '\t')) --cut;
        if (cut > first->end && line[cut - 1] == ';') --cut;
        line.erase(cut, next->end - cut);
        search = cut;
    }

    if (!first->charset.empty()) {
        if (std::optional<std::string> text = word_text(first->charset, value)) value = std::move(*text);
    }
    line.replace(name_pos, first->end - name_pos, "filename=\"" + value + "\"");
}

void decode_header_line(std::string& line) {
    if (!decode_iso2022jp_b_words(line) && !decode_sjis_b_words(line)) {
        // UTF-8 words of both kinds are decoded before the line is converted.
        bool b_words = decode_utf8_b_words(line);
        bool q_words = decode_utf8_q_words(line);
        if (b_words || q_words) {
            utf8_to_sjis(line);
        } else {
            decode_other_charset_b_words(line);
            decode_any_q_words(line);
        }
    }
    jis_to_sjis(line);
}

void decode_part_header_line(std::string& line, bool content_disposition) {
    if (!decode_iso2022jp_b_words(line) && !decode_sjis_b_words(line)) {
        if (decode_utf8_b_words(line)) {
            utf8_to_sjis(line);
        } else {
            bool b_words = decode_other_charset_b_words(line);
            bool q_words = decode_any_q_words(line);
            if (content_disposition && !b_words && !q_words) decode_filename_star(line);
        }
    }
    jis_to_sjis(line);
}

}  // namespace qm
