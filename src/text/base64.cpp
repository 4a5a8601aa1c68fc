#include "text/base64.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include <unistd.h>

#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/text_file.h"
#include "platform/unique_file.h"

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

// The body of a part file is read in pieces of up to this size (a line, or
// part of a longer one), and the bytes are written in blocks.
constexpr std::size_t body_piece_capacity = 65536;
constexpr std::size_t output_flush_size = 65536;
constexpr std::string_view decode_temp_template = "b64_$$$$.tmp";

// The Base64 body of a part file, group by group.
class body_decoder {
public:
    enum class state { reading, finished, failed };

    // Takes the next characters and appends their bytes to `out`; line
    // breaks are skipped, and nothing after the first pad character is
    // looked at.
    state take(std::string_view text, std::string& out) {
        if (state_ != state::reading) return state_;
        std::size_t start = out.size();
        // Room for every byte the characters (and a group begun in the
        // previous piece) can give.
        out.resize(start + text.size() / 4 * 3 + 6);
        char* write = out.data() + start;
        const char* pos = text.data();
        const char* end = pos + text.size();
        while (pos < end) {
            if (count_ == 0 && end - pos >= 4) {
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
            if (c == '\r' || c == '\n') continue;
            group_[count_++] = c;
            if (count_ < group_.size() && c != pad) continue;
            group_bytes_.clear();
            if (base64_decode_group(std::string_view(group_.data(), count_), group_bytes_) < 0) {
                state_ = state::failed;
                break;
            }
            write = std::copy(group_bytes_.begin(), group_bytes_.end(), write);
            count_ = 0;
            if (c == pad) {
                state_ = state::finished;
                break;
            }
        }
        out.resize(static_cast<std::size_t>(write - out.data()));
        return state_;
    }

    // At the end of the body an incomplete group is an error.
    bool complete() const { return state_ == state::finished || (state_ == state::reading && count_ == 0); }

private:
    std::array<char, 4> group_{};
    std::size_t count_ = 0;
    std::string group_bytes_;
    state state_ = state::reading;
};

// Skips the part's header lines up to and including the blank line. Only a
// piece that starts a line can be that blank line: the rest of a header
// line longer than a piece is not one.
void skip_part_header(text_reader& reader) {
    std::string piece;
    bool at_line_start = true;
    while (reader.read_piece(piece, short_line_capacity)) {
        if (at_line_start && piece[0] == '\n') return;
        at_line_start = piece.back() == '\n';
    }
}

bool flush(file_handle& file, std::string& pending) {
    bool ok = std::fwrite(pending.data(), 1, pending.size(), file.get()) == pending.size();
    pending.clear();
    return ok;
}

bool decode_body(text_reader& reader, file_handle& output) {
    body_decoder decoder;
    std::string piece;
    std::string pending;
    pending.reserve(output_flush_size + body_piece_capacity);
    while (reader.read_piece(piece, body_piece_capacity)) {
        auto state = decoder.take(piece, pending);
        if (state == body_decoder::state::failed) return false;
        if (pending.size() >= output_flush_size && !flush(output, pending)) return false;
        if (state == body_decoder::state::finished) break;
    }
    if (reader.failed() || !decoder.complete()) return false;
    return flush(output, pending);
}

std::string directory_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
}

}  // namespace

std::string base64_encode_group(std::string_view bytes) {
    std::string out;
    if (bytes.empty()) return out;
    append_group(out, reinterpret_cast<const unsigned char*>(bytes.data()), std::min<std::size_t>(bytes.size(), 3));
    return out;
}

int base64_value(char c) { return value_of(c); }

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

bool base64_decode_part_file(std::string_view output_path, std::string_view part_path) {
    text_reader reader(part_path);
    if (!reader.is_open()) return false;
    // The bytes go to a new file beside the output, which takes the output's
    // name only when everything was written.
    std::optional<std::string> temp = create_unique_file(directory_of(output_path), decode_temp_template);
    if (!temp) return false;
    file_handle output = create_file(*temp);
    bool ok = output != nullptr;
    if (ok) {
        skip_part_header(reader);
        ok = decode_body(reader, output);
        ok = close_checked(output) && ok;
    }
    if (!ok) {
        ::unlink(disk_path(*temp).c_str());
        return false;
    }
    return replace_with_companion(output_path, *temp);
}

}  // namespace qm
