#include "text/halfwidth_kana.h"

#include <array>
#include <cstdint>

#include "platform/text_file.h"
#include "text/file_conversion.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr std::size_t file_write_block = 65536;

// JIS X 0201 katakana 0xA1-0xDF and the JIS X 0208 characters they stand
// for.
constexpr std::array<std::uint16_t, 0xdf - 0xa1 + 1> fullwidth_kana{
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340, 0x8342,  // A1 ｡｢｣､･ｦｧｨ
    0x8344, 0x8346, 0x8348, 0x8383, 0x8385, 0x8387, 0x8362, 0x815b,  // A9 ｩｪｫｬｭｮｯｰ
    0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834a, 0x834c, 0x834e,  // B1 ｱｲｳｴｵｶｷｸ
    0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835a, 0x835c, 0x835e,  // B9 ｹｺｻｼｽｾｿﾀ
    0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836a, 0x836b, 0x836c,  // C1 ﾁﾂﾃﾄﾅﾆﾇﾈ
    0x836d, 0x836e, 0x8371, 0x8374, 0x8377, 0x837a, 0x837d, 0x837e,  // C9 ﾉﾊﾋﾌﾍﾎﾏﾐ
    0x8380, 0x8381, 0x8382, 0x8384, 0x8386, 0x8388, 0x8389, 0x838a,  // D1 ﾑﾒﾓﾔﾕﾖﾗﾘ
    0x838b, 0x838c, 0x838d, 0x838f, 0x8393, 0x814a, 0x814b,          // D9 ﾙﾚﾛﾜﾝﾞﾟ
};

// Converts `text`; a lead byte at its end is held back in `lead` when more
// text may follow, so that pieces convert as the whole would.
void convert_piece(std::string_view text, std::string& output, int& lead) {
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (lead >= 0) {
            output.push_back(static_cast<char>(lead));
            output.push_back(ch);
            lead = -1;
        } else if (is_lead_byte(c)) {
            lead = c;
        } else if (unsigned code = fullwidth_code_of_kana(c)) {
            output.push_back(static_cast<char>(code >> 8));
            output.push_back(static_cast<char>(code & 0xff));
        } else {
            output.push_back(ch);
        }
    }
}

bool convert_kana_file(std::string_view source, std::string_view target) {
    text_reader in(source);
    text_writer out;
    if (!in.is_open() || !out.open(target)) return false;
    std::string piece, converted;
    int lead = -1;
    for (int c; (c = in.get()) >= 0;) {
        piece.push_back(static_cast<char>(c));
        if (piece.size() >= file_write_block) {
            converted.clear();
            convert_piece(piece, converted, lead);
            if (!out.write(converted)) return false;
            piece.clear();
        }
    }
    converted.clear();
    convert_piece(piece, converted, lead);
    if (lead >= 0) converted.push_back(static_cast<char>(lead));  // a lead byte at the end stays alone
    return !in.failed() && out.write(converted) && out.close();
}

}  // namespace

unsigned fullwidth_code_of_kana(unsigned char c) { return is_halfwidth_kana(c) ? fullwidth_kana[c - 0xa1] : 0; }

bool file_kana_to_fullwidth(std::string_view path) { return convert_file(path, convert_kana_file); }

}  // namespace qm
