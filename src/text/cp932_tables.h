#pragma once

namespace qm {

// The CP932 form of a Unicode character as the system's converter gives it,
// with both spellings of the characters Unicode has twice (WAVE DASH and
// FULLWIDTH TILDE, MINUS SIGN and FULLWIDTH HYPHEN-MINUS ...). 0 when CP932
// lacks the character; a value below 0x100 is one byte, any other two bytes,
// high byte first. Code points below 0x80 are their own code.
unsigned cp932_code_of(char32_t code_point);

// For a code of CP932's IBM extension rows (lead bytes 0xFA to 0xFC): the
// code of the same character in JIS X 0208, NEC row 13 or the NEC-selected
// IBM rows, which have a JIS form; 0 when there is none.
unsigned nec_equivalent_of_ibm_code(unsigned code);

}  // namespace qm
