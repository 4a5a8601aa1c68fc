#include "text/cp932_tables.h"

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "text/iconv_handle.h"

namespace qm {

namespace {

// CP932 has no character outside the Basic Multilingual Plane.
constexpr char32_t plane_size = 0x10000;
constexpr unsigned first_ibm_lead = 0xfa;
constexpr unsigned last_ibm_lead = 0xfc;

bool is_trail_byte(unsigned c) { return (c >= 0x40 && c <= 0x7e) || (c >= 0x80 && c <= 0xfc); }

// One CP932 code (one or two bytes) from a code point through the system
// converter; 0 when it has none.
unsigned code_through_iconv(iconv_handle& to_cp932, char32_t code_point) {
    char in_bytes[4] = {static_cast<char>(code_point & 0xff), static_cast<char>((code_point >> 8) & 0xff),
                        static_cast<char>((code_point >> 16) & 0xff), 0};
    char out_bytes[8];
    char* in = in_bytes;
    char* out = out_bytes;
    std::size_t in_left = sizeof in_bytes, out_left = sizeof out_bytes;
    if (iconv(to_cp932.get(), &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) return 0;
    std::size_t length = sizeof out_bytes - out_left;
    if (length == 1) return static_cast<unsigned char>(out_bytes[0]);
    if (length == 2) return static_cast<unsigned char>(out_bytes[0]) * 256u + static_cast<unsigned char>(out_bytes[1]);
    return 0;
}

// The code point of a double-byte CP932 code; 0 when unassigned.
char32_t code_point_through_iconv(iconv_handle& from_cp932, unsigned code) {
    char in_bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
    unsigned char out_bytes[8];
    char* in = in_bytes;
    char* out = reinterpret_cast<char*>(out_bytes);
    std::size_t in_left = sizeof in_bytes, out_left = sizeof out_bytes;
    if (iconv(from_cp932.get(), &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) return 0;
    if (sizeof out_bytes - out_left != 4) return 0;
    return out_bytes[0] | (out_bytes[1] << 8) | (out_bytes[2] << 16) | (char32_t(out_bytes[3]) << 24);
}

struct unicode_table {
    std::vector<std::uint16_t> codes = std::vector<std::uint16_t>(plane_size, 0);
};

// Characters that Japanese text writes every day and Unicode spells twice;
// every spelling must reach its CP932 code even where a converter maps only
// one of them.
struct double_spelling {
    char32_t code_point;
    std::uint16_t code;
};
constexpr std::array<double_spelling, 14> double_spellings{{
    {0x301c, 0x8160}, {0xff5e, 0x8160},  // WAVE DASH, FULLWIDTH TILDE
    {0x2212, 0x817c}, {0xff0d, 0x817c},  // MINUS SIGN, FULLWIDTH HYPHEN-MINUS
    {0x2016, 0x8161}, {0x2225, 0x8161},  // DOUBLE VERTICAL LINE, PARALLEL TO
    {0x2014, 0x815c}, {0x2015, 0x815c},  // EM DASH, HORIZONTAL BAR
    {0x00a2, 0x8191}, {0xffe0, 0x8191},  // CENT SIGN
    {0x00a3, 0x8192}, {0xffe1, 0x8192},  // POUND SIGN
    {0x00ac, 0x81ca}, {0xffe2, 0x81ca},  // NOT SIGN
}};

unicode_table build_unicode_table() {
    unicode_table table;
    for (char32_t c = 0; c < 0x80; ++c) table.codes[c] = static_cast<std::uint16_t>(c);
    iconv_handle to_cp932("CP932", "UTF-32LE");
    if (to_cp932.is_open()) {
        for (char32_t c = 0x80; c < plane_size; ++c) {
            if (c >= 0xd800 && c <= 0xdfff) continue;
            table.codes[c] = static_cast<std::uint16_t>(code_through_iconv(to_cp932, c));
        }
    }
    for (const auto& spelling : double_spellings) {
        if (table.codes[spelling.code_point] == 0) table.codes[spelling.code_point] = spelling.code;
    }
    return table;
}

const unicode_table& the_unicode_table() {
    static const unicode_table table = build_unicode_table();
    return table;
}

// Where an IBM extension character is looked for, in the order of
// preference: JIS X 0208, then NEC row 13, then the NEC-selected IBM rows.
struct lead_range {
    unsigned first, last;
};
constexpr std::array<lead_range, 5> equivalent_lead_ranges{{
    {0x81, 0x84}, {0x88, 0x9f}, {0xe0, 0xea},  // JIS X 0208
    {0x87, 0x87},                              // NEC row 13
    {0xed, 0xee},                              // NEC-selected IBM extensions
}};

using nec_equivalent_table = std::array<std::uint16_t, (last_ibm_lead - first_ibm_lead + 1) * 256>;

nec_equivalent_table build_nec_equivalents() {
    nec_equivalent_table table{};
    iconv_handle from_cp932("UTF-32LE", "CP932");
    if (!from_cp932.is_open()) return table;

    std::unordered_map<char32_t, std::uint16_t> code_of;
    for (const auto& range : equivalent_lead_ranges) {
        for (unsigned lead = range.first; lead <= range.last; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xfc; ++trail) {
                if (!is_trail_byte(trail)) continue;
                unsigned code = lead * 256 + trail;
                if (char32_t c = code_point_through_iconv(from_cp932, code))
                    code_of.emplace(c, static_cast<std::uint16_t>(code));
            }
        }
    }
    for (unsigned lead = first_ibm_lead; lead <= last_ibm_lead; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xfc; ++trail) {
            if (!is_trail_byte(trail)) continue;
            char32_t c = code_point_through_iconv(from_cp932, lead * 256 + trail);
            auto found = c ? code_of.find(c) : code_of.end();
            if (found != code_of.end()) table[(lead - first_ibm_lead) * 256 + trail] = found->second;
        }
    }
    return table;
}

const nec_equivalent_table& the_nec_equivalents() {
    static const nec_equivalent_table table = build_nec_equivalents();
    return table;
}

}  // namespace

unsigned cp932_code_of(char32_t code_point) {
    if (code_point < 0x80) return code_point;
    if (code_point >= plane_size) return 0;
    return the_unicode_table().codes[code_point];
}

unsigned nec_equivalent_of_ibm_code(unsigned code) {
    unsigned lead = code >> 8;
    if (lead < first_ibm_lead || lead > last_ibm_lead) return 0;
    return the_nec_equivalents()[(lead - first_ibm_lead) * 256 + (code & 0xff)];
}

}  // namespace qm
