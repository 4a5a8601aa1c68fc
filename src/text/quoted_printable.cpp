#include "text/quoted_printable.h"

#include "base/hex_digits.h"

namespace qm {

void qp_decode_line(std::string& line) {
    // Decoded text is never longer than the encoded text, so it is written
    // over the line from the front.
    std::size_t out = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        char c = line[pos];
        if (c != '=') {
            line[out++] = c;
            ++pos;
            continue;
        }
        if (pos + 1 < line.size() && line[pos + 1] == '\n') {
            line.resize(out);  // soft line break
            return;
        }
        int value;
        std::size_t digits = read_hex(line, pos + 1, 2, value);
        line[out++] = digits > 0 ? static_cast<char>(value) : '=';
        pos += 1 + digits;
    }
    line.resize(out);
}

std::string qp_decode_text(std::string_view text, std::string_view line_break) {
    std::string out;
    out.reserve(text.size());
    std::string joined;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t line_feed = text.find('\n', pos);
        bool hard_break = line_feed != std::string_view::npos;
        std::size_t end = hard_break ? line_feed : text.size();
        joined.append(text, pos, end - pos);
        pos = hard_break ? line_feed + 1 : end;
        if (!joined.empty() && joined.back() == '=') {
            joined.pop_back();
            continue;
        }
        qp_decode_line(joined);
        out += joined;
        if (hard_break) out += line_break;
        joined.clear();
    }
    qp_decode_line(joined);
    out += joined;
    return out;
}

}  // namespace qm
