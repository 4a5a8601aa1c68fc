#include "text/encoded_words.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "text/base64.h"
#include "text/charset_conversion.h"
#include "base/find_nocase.h"
#include "base/hex_digits.h"
#include "base/multibyte.h"
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

bool is_iso2022jp(std::string_view charset) { return equals_nocase(charset, "ISO-2022-JP"); }
bool is_utf8(std::string_view charset) { return equals_nocase(charset, "UTF-8"); }
bool is_native_charset(std::string_view charset) {
    return is_iso2022jp(charset) || equals_nocase(charset, "SHIFT_JIS") || is_utf8(charset);
}

// ISO-2022-JP text that a word leaves in a kanji or katakana shift gets the
// escape back to ASCII, so that the text after the word is not read as
// kanji.
void end_in_ascii(std::string& jis) {
    bool shifted = false;
    for (std::size_t pos = 0; pos + 2 < jis.size(); ++pos) {
        if (jis[pos] != esc) continue;
        if (jis[pos + 1] == '$') shifted = true;
        if (jis[pos + 1] == '(') shifted = jis[pos + 2] == 'I';
    }
    if (shifted) jis += "\x1b(B";
}

// Decoded bytes of a word in `charset` (without its language), as the line
// holds them until the final ISO-2022-JP conversion: ISO-2022-JP and
// Shift_JIS keep their bytes, UTF-8 and every other known charset become
// CP932. nullopt for a charset the converter does not know.
std::optional<std::string> word_text(std::string_view charset, std::string bytes) {
    if (is_iso2022jp(charset) || equals_nocase(charset, "SHIFT_JIS")) {
        neutralize_line_breaks(bytes);
        if (is_iso2022jp(charset)) end_in_ascii(bytes);
        return bytes;
    }
    if (is_utf8(charset)) {
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

// The start of an encoded word: "=?", the charset (an RFC 2231 language may
// follow it after "*"), "?", the encoding letter and "?".
struct word_head {
    std::size_t start;       // of "=?"
    std::size_t text_start;  // after the third "?"
    std::string_view charset;  // without the language
    char encoding;           // 'B' or 'Q'
};

// The next word start at or after `from`. Each "=?" is tried in turn, so a
// stray "=?" in front of a word does not hide it.
std::optional<word_head> next_word_head(std::string_view line, std::size_t from) {
    for (std::size_t pos = line.find("=?", from); pos != std::string_view::npos; pos = line.find("=?", pos + 1)) {
        std::size_t charset_end = line.find('?', pos + 2);
        if (charset_end == std::string_view::npos || charset_end + 2 >= line.size()) return std::nullopt;
        char encoding = line[charset_end + 1];
        if (encoding >= 'a' && encoding <= 'z') encoding = static_cast<char>(encoding - 'a' + 'A');
        if (line[charset_end + 2] != '?' || (encoding != 'B' && encoding != 'Q')) continue;
        return word_head{pos, charset_end + 3, bare_charset(line.substr(pos + 2, charset_end - pos - 2)), encoding};
    }
    return std::nullopt;
}

// What a pass over the words of a line saw: a word the pass looks for, and
// whether it replaced any.
struct word_pass {
    bool found = false;
    bool replaced = false;
};

// Replaces the complete words that `wanted` picks by what `decode` makes of
// their text; a word `decode` gives nothing for stays encoded, and the search
// goes on one character after its start. The words are found in the line as
// it was, so a decoded text is never decoded again.
template <typename Wanted, typename Decode>
word_pass replace_words(std::string& line, Wanted wanted, Decode decode) {
    word_pass pass;
    const std::string source = line;
    close_finder closes(source);
    std::string out;
    std::size_t copied = 0;
    for (std::size_t from = 0; auto head = next_word_head(source, from);) {
        if (!wanted(*head)) {
            from = head->start + 1;
            continue;
        }
        pass.found = true;
        std::size_t close = closes.at_or_after(head->text_start);
        // No later word can have an end either.
        if (close == std::string_view::npos) break;
        std::optional<std::string> text =
            decode(*head, std::string_view(source).substr(head->text_start, close - head->text_start));
        if (!text) {
            from = head->start + 1;
            continue;
        }
        out.append(source, copied, head->start - copied);
        out += *text;
        copied = close + word_close.size();
        from = copied;
        pass.replaced = true;
    }
    if (pass.replaced) {
        out.append(source, copied);
        line = std::move(out);
    }
    return pass;
}

// Base64 text of a complete word, or nullopt when its length is not a
// multiple of four (the word then stays encoded).
std::optional<std::string> b_bytes(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    return decode_b_text(text);
}

// Decodes the Base64 words of one of the program's own charsets to raw
// bytes; whether such a word occurs at all.
bool decode_native_b_words(std::string& line, std::string_view charset) {
    auto wanted = [charset](const word_head& head) {
        return head.encoding == 'B' && equals_nocase(head.charset, charset);
    };
    auto decode = [charset](const word_head&, std::string_view text) -> std::optional<std::string> {
        std::optional<std::string> bytes = b_bytes(text);
        if (!bytes) return std::nullopt;
        neutralize_line_breaks(*bytes);
        if (is_iso2022jp(charset)) end_in_ascii(*bytes);
        return bytes;
    };
    return replace_words(line, wanted, decode).found;
}

// A line of raw 8-bit UTF-8 (RFC 6532 mail) with every word decoded, in
// CP932 but for the bytes of ISO-2022-JP words, which the caller converts.
// The line's own text and its UTF-8 words are converted together, so that
// a character split between two words is still read whole.
void decode_utf8_line(std::string& line) {
    const std::string source = line;
    close_finder closes(source);
    std::string out, utf8_run;
    std::size_t copied = 0;
    for (std::size_t from = 0; auto head = next_word_head(source, from);) {
        std::size_t close = closes.at_or_after(head->text_start);
        if (close == std::string_view::npos) break;
        std::string_view text = std::string_view(source).substr(head->text_start, close - head->text_start);
        std::optional<std::string> bytes = head->encoding == 'B' ? b_bytes(text) : decode_q_text(text);
        std::optional<std::string> decoded;
        const bool utf8 = is_utf8(head->charset);
        if (bytes) {
            neutralize_line_breaks(*bytes);
            decoded = utf8 ? bytes : word_text(head->charset, *bytes);
            // A Q word of an unknown charset gives its raw bytes; a Base64 one stays.
            if (!decoded && head->encoding == 'Q') decoded = std::move(bytes);
        }
        if (!decoded) {
            from = head->start + 1;
            continue;
        }
        utf8_run.append(source, copied, head->start - copied);
        if (utf8) {
            utf8_run += *decoded;
        } else {
            out += utf8_to_sjis_copy(utf8_run);
            utf8_run.clear();
            out += *decoded;
        }
        copied = close + word_close.size();
        from = copied;
    }
    utf8_run.append(source, copied);
    out += utf8_to_sjis_copy(utf8_run);
    line = std::move(out);
}

// ---- RFC 2231 parameters ----

// One "attribute=value" parameter of a header line.
struct parameter {
    std::size_t cut;    // the ";" that separates it from what stands before
    std::size_t start;  // of the attribute
    std::size_t end;    // after the value (and its closing quote)
    std::string_view attribute;
    std::string value;  // without quotes, with quoted pairs resolved
};

// A quoted value from after its opening quote: a backslash takes the next
// character as it is, and the value ends at the next quote (or the end of
// the line). Returns the position after the closing quote.
std::size_t read_quoted(std::string_view line, std::size_t pos, std::string& value) {
    while (pos < line.size() && line[pos] != '"' && line[pos] != '\n') {
        if (line[pos] == '\\' && pos + 1 < line.size() && line[pos + 1] != '\n') ++pos;
        std::size_t length = char_length(line, pos);
        value.append(line, pos, length);
        pos += length;
    }
    return pos < line.size() && line[pos] == '"' ? pos + 1 : pos;
}

// The parameters after the first ";" of the line; a segment without "="
// is none.
std::vector<parameter> parameters_of(std::string_view line) {
    std::vector<parameter> found;
    for (std::size_t semicolon = line.find(';'); semicolon != std::string_view::npos;) {
        std::size_t start = semicolon + 1;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
        std::size_t equals = line.find_first_of("=;\n", start);
        if (equals == std::string_view::npos || line[equals] != '=') {
            semicolon = equals != std::string_view::npos && line[equals] == ';' ? equals : std::string_view::npos;
            continue;
        }
        parameter p{semicolon, start, 0, line.substr(start, equals - start), {}};
        while (!p.attribute.empty() && (p.attribute.back() == ' ' || p.attribute.back() == '\t'))
            p.attribute.remove_suffix(1);
        std::size_t value = equals + 1;
        if (value < line.size() && line[value] == '"') {
            p.end = read_quoted(line, value + 1, p.value);
        } else {
            std::size_t stop = line.find_first_of("\";\n", value);
            p.end = stop == std::string_view::npos ? line.size() : stop;
            std::string_view token = line.substr(value, p.end - value);
            while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
            p.value = token;
        }
        semicolon = line.find(';', p.end);
        found.push_back(std::move(p));
    }
    return found;
}

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

// One section of an RFC 2231 parameter: "name*" (extended), "name*N" or
// "name*N*".
struct star_section {
    const parameter* source;
    unsigned long number;
    bool extended;
};

std::optional<star_section> as_star_section(const parameter& p, std::string_view name) {
    if (p.attribute.size() <= name.size() || !starts_with_nocase(p.attribute, name) ||
        p.attribute[name.size()] != '*')
        return std::nullopt;
    std::string_view rest = p.attribute.substr(name.size() + 1);
    bool extended = rest.empty() || rest.back() == '*';
    if (!rest.empty() && rest.back() == '*') rest.remove_suffix(1);
    unsigned long number = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') return std::nullopt;
        number = std::min(number * 10 + static_cast<unsigned long>(c - '0'), 1000000UL);
    }
    return star_section{&p, number, extended};
}

// The value as it may stand in double quotes: a quote or a backslash gets a
// backslash before it (the second byte of a double-byte character is never
// taken for one).
std::string quoted_pair_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = char_length(text, pos);
        if (length == 1 && (text[pos] == '"' || text[pos] == '\\')) out.push_back('\\');
        out.append(text, pos, length);
        pos += length;
    }
    return out;
}

// The joined, decoded value of the sections (in the order of their numbers):
// extended values are percent-decoded, and the first one's charset turns
// the name into CP932 where the converter knows it.
std::string joined_section_value(std::vector<star_section> sections) {
    std::stable_sort(sections.begin(), sections.end(),
                     [](const star_section& a, const star_section& b) { return a.number < b.number; });
    std::string value;
    std::string charset;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        std::string_view content = sections[i].source->value;
        if (!sections[i].extended) {
            value += content;
            continue;
        }
        if (i == 0 && !content.empty() && content[0] != '%') {
            std::size_t first_quote = content.find('\'');
            std::size_t second_quote =
                first_quote == std::string_view::npos ? first_quote : content.find('\'', first_quote + 1);
            if (second_quote != std::string_view::npos) {
                charset = content.substr(0, first_quote);
                content.remove_prefix(second_quote + 1);
            }
        }
        value += percent_decode(content);
    }
    neutralize_line_breaks(value);
    if (!charset.empty()) {
        if (std::optional<std::string> text = word_text(charset, value)) value = std::move(*text);
    }
    jis_to_sjis(value);
    return value;
}

}  // namespace

bool encode_header_line(std::string& output, std::size_t capacity, std::string_view jis_line) {
    if (!encode_line_folding(output, capacity, jis_line, false)) return false;
    if (longest_line(output) <= wire_line_limit) return true;
    // Too long for the wire: plain text is folded at its blanks as well.
    return encode_line_folding(output, capacity, jis_line, true) && longest_line(output) <= wire_line_limit;
}

bool decode_iso2022jp_b_words(std::string& line) { return decode_native_b_words(line, "ISO-2022-JP"); }
bool decode_sjis_b_words(std::string& line) { return decode_native_b_words(line, "SHIFT_JIS"); }
bool decode_utf8_b_words(std::string& line) { return decode_native_b_words(line, "UTF-8"); }

bool decode_utf8_q_words(std::string& line) {
    auto wanted = [](const word_head& head) { return head.encoding == 'Q' && is_utf8(head.charset); };
    auto decode = [](const word_head&, std::string_view text) -> std::optional<std::string> {
        std::string bytes = decode_q_text(text);
        neutralize_line_breaks(bytes);
        return bytes;
    };
    return replace_words(line, wanted, decode).replaced;
}

bool decode_any_q_words(std::string& line) {
    auto wanted = [](const word_head& head) { return head.encoding == 'Q'; };
    auto decode = [](const word_head& head, std::string_view text) -> std::optional<std::string> {
        std::string bytes = decode_q_text(text);
        std::optional<std::string> decoded = word_text(head.charset, bytes);
        if (decoded) return decoded;
        // Unknown charset: the raw bytes.
        neutralize_line_breaks(bytes);
        return bytes;
    };
    return replace_words(line, wanted, decode).replaced;
}

bool decode_other_charset_b_words(std::string& line) {
    auto wanted = [](const word_head& head) { return head.encoding == 'B' && !is_native_charset(head.charset); };
    auto decode = [](const word_head& head, std::string_view text) -> std::optional<std::string> {
        std::optional<std::string> bytes = b_bytes(text);
        if (!bytes) return std::nullopt;
        return word_text(head.charset, std::move(*bytes));
    };
    return replace_words(line, wanted, decode).replaced;
}

void decode_star_parameter(std::string& line, std::string_view name) {
    std::vector<parameter> parameters = parameters_of(line);
    std::vector<star_section> sections;
    for (const parameter& p : parameters) {
        if (std::optional<star_section> section = as_star_section(p, name)) sections.push_back(*section);
    }
    if (sections.empty()) return;

    // The joined value takes the place of the first section; the other
    // sections go, and so does a plain parameter of the same name, which
    // only stands in for readers that do not know the extended form.
    struct change {
        std::size_t from, to;
        std::string text;
    };
    std::vector<change> changes{{sections.front().source->start, sections.front().source->end,
                                 std::string(name) + "=\"" + quoted_pair_escaped(joined_section_value(sections)) + "\""}};
    for (std::size_t i = 1; i < sections.size(); ++i) changes.push_back({sections[i].source->cut, sections[i].source->end, ""});
    for (const parameter& p : parameters) {
        if (equals_nocase(p.attribute, name)) changes.push_back({p.cut, p.end, ""});
    }
    std::sort(changes.begin(), changes.end(), [](const change& a, const change& b) { return a.from < b.from; });
    std::string out;
    out.reserve(line.size());
    std::size_t copied = 0;
    for (const change& c : changes) {
        out.append(line, copied, c.from - copied);
        out += c.text;
        copied = c.to;
    }
    out.append(line, copied);
    line = std::move(out);
}

void decode_header_line(std::string& line) {
    if (is_8bit_utf8(line)) {
        decode_utf8_line(line);
    } else if (!decode_iso2022jp_b_words(line) && !decode_sjis_b_words(line)) {
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
    if (is_8bit_utf8(line)) {
        decode_utf8_line(line);
    } else if (!decode_iso2022jp_b_words(line) && !decode_sjis_b_words(line)) {
        if (decode_utf8_b_words(line)) {
            utf8_to_sjis(line);
        } else {
            decode_other_charset_b_words(line);
            decode_any_q_words(line);
        }
    }
    decode_star_parameter(line, content_disposition ? "filename" : "name");
    jis_to_sjis(line);
}

}  // namespace qm
