#include "text/sjis_jis.h"

#include <algorithm>

#include "text/cp932_tables.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr char esc = '\x1b';
constexpr std::string_view escape_ascii = "\x1b(B";
constexpr std::string_view escape_kanji = "\x1b$B";
constexpr std::string_view escape_katakana = "\x1b(I";
constexpr std::size_t escape_length = 3;


enum class shift_state { ascii, kanji, katakana };

// The state an escape sequence selects from the two bytes after ESC; false
// for a sequence this program does not know.
bool escape_selects(unsigned first, unsigned second, shift_state& state) {
    if (first == '$' && (second == 'B' || second == '@')) {
        state = shift_state::kanji;
    } else if (first == '(' && (second == 'B' || second == 'J')) {
        state = shift_state::ascii;
    } else if (first == '(' && second == 'I') {
        state = shift_state::katakana;
    } else {
        return false;
    }
    return true;
}

// A byte that a kanji pair never takes: control characters and the space
// keep their place (a line feed must not vanish into a pair).
bool is_kanji_byte(unsigned char c) { return c > 0x20; }

// In katakana state the bytes 0x21-0x5F are the half-width katakana; other
// bytes have no katakana meaning and stay as they are.
char katakana_byte(unsigned char c) { return static_cast<char>(c >= 0x21 && c <= 0x5f ? c + 0x80 : c); }

// The JIS code of a CP932 double-byte code. The IBM extension rows have no
// JIS form of their own; their characters are sent as the same character
// of JIS X 0208 or the NEC rows.
unsigned cp932_code_to_jis(unsigned code) {
    if ((code >> 8) >= 0xfa) code = nec_equivalent_of_ibm_code(code);
    return sjis_code_to_jis(code);
}

class jis_writer {
public:
    jis_writer(std::string& output, std::size_t limit) : output_(output), limit_(limit) {}

    bool enter(shift_state state) {
        if (state_ == state) return true;
        std::string_view sequence = state == shift_state::ascii  ? escape_ascii
                                    : state == shift_state::kanji ? escape_kanji
                                                                  : escape_katakana;
        if (!fits(escape_length)) return false;
        output_.append(sequence);
        state_ = state;
        return true;
    }
    bool put(char c) {
        if (!fits(1)) return false;
        output_.push_back(c);
        return true;
    }
    bool put_pair(unsigned code) {
        if (!fits(2)) return false;
        output_.push_back(static_cast<char>(code >> 8));
        output_.push_back(static_cast<char>(code & 0xff));
        return true;
    }
    bool put_run(std::string_view run) {
        if (!fits(run.size())) return false;
        output_.append(run);
        return true;
    }

private:
    bool fits(std::size_t count) const { return output_.size() + count <= limit_; }

    std::string& output_;
    std::size_t limit_;
    shift_state state_ = shift_state::ascii;
};

}  // namespace

unsigned sjis_code_to_jis(unsigned code) {
    unsigned lead = code >> 8, trail = code & 0xff;
    if (code > 0xffff || !((lead >= 0x81 && lead <= 0x9f) || (lead >= 0xe0 && lead <= 0xef))) return 0;
    if (trail < 0x40 || trail == 0x7f || trail > 0xfc) return 0;
    if (lead >= 0xe0) lead -= 0x40;
    unsigned high = (lead - 0x81) * 2 + 0x21;
    unsigned low;
    if (trail >= 0x9f) {
        ++high;
        low = trail - 0x9f + 0x21;
    } else {
        low = (trail > 0x7f ? trail - 1 : trail) - 0x40 + 0x21;
    }
    return high * 256 + low;
}

unsigned jis_code_to_sjis(unsigned code) {
    unsigned high = code >> 8, low = code & 0xff;
    if (code > 0xffff || high < 0x21 || high > 0x7e || low < 0x21 || low > 0x7e) return 0;
    unsigned lead = (high - 0x21) / 2 + 0x81;
    if (lead > 0x9f) lead += 0x40;
    unsigned trail;
    if (high % 2 == 1) {
        trail = low - 0x21 + 0x40;
        if (trail >= 0x7f) ++trail;
    } else {
        trail = low - 0x21 + 0x9f;
    }
    return lead * 256 + trail;
}

bool sjis_to_jis(std::string& output, std::size_t capacity, std::string_view input) {
    output.clear();
    if (capacity == 0) return false;
    // One byte of the capacity stays for the terminating zero.
    jis_writer out(output, capacity - 1);
    output.reserve(std::min(capacity - 1, input.size() + input.size() / 2 + 2 * escape_length));

    std::size_t i = 0;
    const std::size_t n = input.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(input[i]);
        if (c < 0x80) {
            std::size_t end = i + 1;
            while (end < n && static_cast<unsigned char>(input[end]) < 0x80) ++end;
            if (!out.enter(shift_state::ascii) || !out.put_run(input.substr(i, end - i))) return false;
            i = end;
        } else if (is_halfwidth_kana(c)) {
            if (!out.enter(shift_state::katakana) || !out.put(static_cast<char>(c - 0x80))) return false;
            ++i;
        } else {
            if (!out.enter(shift_state::kanji)) return false;
            unsigned jis = 0;
            // A lead byte at the end of the text, or before a control
            // character, stands alone: it becomes the replacement and takes
            // nothing with it.
            if (i + 1 < n && static_cast<unsigned char>(input[i + 1]) >= 0x20) {
                jis = cp932_code_to_jis(c * 256u + static_cast<unsigned char>(input[i + 1]));
                i += 2;
            } else {
                ++i;
            }
            if (!out.put_pair(jis ? jis : jis_replacement)) return false;
        }
    }
    return out.enter(shift_state::ascii);
}

void jis_to_sjis(std::string& text) {
    shift_state state = shift_state::ascii;
    char* bytes = text.data();
    const std::size_t n = text.size();
    std::size_t read = 0, write = 0;
    while (read < n) {
        unsigned char c = static_cast<unsigned char>(bytes[read]);
        if (c == esc && read + 2 < n &&
            escape_selects(static_cast<unsigned char>(bytes[read + 1]), static_cast<unsigned char>(bytes[read + 2]),
                           state)) {
            read += escape_length;
            continue;
        }
        if (state == shift_state::katakana) {
            bytes[write++] = katakana_byte(c);
            ++read;
        } else if (state == shift_state::kanji && is_kanji_byte(c) && read + 1 < n &&
                   is_kanji_byte(static_cast<unsigned char>(bytes[read + 1]))) {
            unsigned sjis = jis_code_to_sjis(c * 256u + static_cast<unsigned char>(bytes[read + 1]));
            if (sjis == 0) sjis = sjis_replacement;
            bytes[write++] = static_cast<char>(sjis >> 8);
            bytes[write++] = static_cast<char>(sjis & 0xff);
            read += 2;
        } else {
            // ASCII, an unknown escape, and in kanji state a control
            // character or a byte left without its partner.
            bytes[write++] = bytes[read++];
        }
    }
    text.resize(write);
}

}  // namespace qm
