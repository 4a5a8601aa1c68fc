#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// Converts text in a MIME charset to CP932. The name is matched in any case
// as the system's converter knows it, after the aliases mail uses ("x-sjis",
// "ks_c_5601-1987" ...); text labelled Shift_JIS is read as CP932, which is
// what such mail holds. Characters CP932 lacks, and bytes that are not valid
// in the charset, become the replacement character 0x8148. nullopt when the
// charset is not known.
// Whether the name is one of the labels Shift_JIS mail carries (Shift_JIS,
// shift-jis, SJIS, x-sjis, CP932, MS932, Windows-31J, MS_Kanji,
// csShiftJIS), in any case.
bool is_shift_jis_label(std::string_view charset);

std::optional<std::string> convert_to_cp932(std::string_view charset, std::string_view bytes);

// The same text as UTF-8, read as convert_to_cp932 reads it (the same
// names; ISO-2022-JP through the program's own reader, Shift_JIS as CP932),
// but with every character kept that CP932 lacks. A byte that is not valid
// in the charset becomes U+FFFD, one for each byte that would become 0x8148
// there. nullopt when the charset is not known.
std::optional<std::string> convert_to_utf8(std::string_view charset, std::string_view bytes);

}  // namespace qm
