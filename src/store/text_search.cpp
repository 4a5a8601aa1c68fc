#include "store/text_search.h"

#include <string>

#include "platform/text_file.h"
#include "base/multibyte.h"

namespace qm {

bool file_contains_text(std::string_view path, std::string_view text) {
    text_reader reader(path);
    if (!reader.is_open()) return false;
    std::string piece;
    while (reader.read_piece(piece, message_line_capacity)) {
        if (mbs_find(piece, text) != std::string::npos) return true;
    }
    return false;
}

}  // namespace qm
