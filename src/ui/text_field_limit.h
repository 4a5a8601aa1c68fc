#pragma once

#include <cstddef>

class QPlainTextEdit;

namespace qm {

// Keeps a multi-line field within `byte_limit` CP932 bytes, each line end
// counted as the two bytes (CR LF) it takes in a file: typing or pasting
// past the limit keeps the beginning of what was inserted that fits, never
// half a character, and drops the rest, as a single-line field does.
// Connects itself to the field's document; text set before the call is
// not cut.
void keep_text_within_bytes(QPlainTextEdit* field, std::size_t byte_limit);

}  // namespace qm
