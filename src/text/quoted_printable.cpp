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

}  // namespace qm
