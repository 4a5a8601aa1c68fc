#include "text/ascii_text.h"

#include <string>


namespace qm {

namespace {
}

bool is_ascii_text(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

}  // namespace qm
