#include "text/base64.h"

#include <algorithm>
#include <array>


namespace qm {

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char pad = '=';

// Character to value (-1 outside the alphabet), so that decoding costs one
// look-up per character.
constexpr std::array<signed char, 256> make_decode_table() {
    std::array<signed char, 256> table{};
    for (auto& entry : table) entry = -1;
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    return table;
}
constexpr std::array<signed char, 256> decode_table = make_decode_table();

inline int value_of(char c) { return decode_table[static_cast<unsigned char>(c)]; }

void append_group(std::string& out, const unsigned char* bytes, std::size_t count) {
    unsigned b1 = bytes[0];
    unsigned b2 = count > 1 ? bytes[1] : 0;
    unsigned b3 = count > 2 ? bytes[2] : 0;
    out.push_back(alphabet[b1 >> 2]);
    out.push_back(alphabet[((b1 & 0x03) << 4) | (b2 >> 4)]);
    out.push_back(count > 1 ? alphabet[((b2 & 0x0f) << 2) | (b3 >> 6)] : pad);
    out.push_back(count > 2 ? alphabet[b3 & 0x3f] : pad);
}

// Characters a Base64 body may hold between its groups.
bool is_blank(char c) { return c == '\n' || c == '\r' || c == ' ' || c == '\t'; }

}  // namespace

int base64_decode_group(std::string_view group, std::string& out) {
    // A missing character has no value, as the end of a C string has none.
    auto at = [group](std::size_t i) { return i < group.size() ? group[i] : '\0'; };
    int v1 = value_of(at(0));
    int v2 = value_of(at(1));
    if (v1 < 0 || v2 < 0) return -1;
    char b1 = static_cast<char>((v1 << 2) | (v2 >> 4));
    if (at(2) == pad) {
        out.push_back(b1);
        return 1;
    }
    int v3 = value_of(at(2));
    if (v3 < 0) return -1;
    char b2 = static_cast<char>(((v2 & 0x0f) << 4) | (v3 >> 2));
    if (at(3) == pad) {
        out.push_back(b1);
        out.push_back(b2);
        return 2;
    }
    int v4 = value_of(at(3));
    if (v4 < 0) return -1;
    out.push_back(b1);
    out.push_back(b2);
    out.push_back(static_cast<char>(((v3 & 0x03) << 6) | v4));
    return 3;
}

std::string base64_encode_text(std::string_view input) {
    std::string out;
    out.reserve((input.size() + 2) / 3 * 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (std::size_t pos = 0; pos < input.size(); pos += 3)
        append_group(out, bytes + pos, std::min<std::size_t>(input.size() - pos, 3));
    return out;
}

bool base64_decode_body(std::string_view text, std::string& out) {
    std::size_t start = out.size();
    // Room for every byte the characters can give.
    out.resize(start + text.size() / 4 * 3 + 3);
    char* write = out.data() + start;
    std::array<char, 4> group{};
    std::size_t count = 0;
    std::string group_bytes;
    bool ok = true;
    for (const char *pos = text.data(), *end = pos + text.size(); pos < end;) {
        if (count == 0 && end - pos >= 4) {
            // The common case: four alphabet characters in a row.
            int v1 = value_of(pos[0]), v2 = value_of(pos[1]), v3 = value_of(pos[2]), v4 = value_of(pos[3]);
            if ((v1 | v2 | v3 | v4) >= 0) {
                write[0] = static_cast<char>((v1 << 2) | (v2 >> 4));
                write[1] = static_cast<char>(((v2 & 0x0f) << 4) | (v3 >> 2));
                write[2] = static_cast<char>(((v3 & 0x03) << 6) | v4);
                write += 3;
                pos += 4;
                continue;
            }
        }
        char c = *pos++;
        if (is_blank(c)) continue;
        group[count++] = c;
        if (count < group.size() && c != pad) continue;
        group_bytes.clear();
        if (base64_decode_group(std::string_view(group.data(), count), group_bytes) < 0) {
            ok = false;
            break;
        }
        write = std::copy(group_bytes.begin(), group_bytes.end(), write);
        count = 0;
        if (c == pad) break;
    }
    out.resize(static_cast<std::size_t>(write - out.data()));
    return ok && count == 0;
}

}  // namespace qm
