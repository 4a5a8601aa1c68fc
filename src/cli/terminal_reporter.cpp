#include "cli/terminal_reporter.h"

#include <cstdio>

#include "platform/cp932.h"

namespace qm {

std::string terminal_text(std::string_view cp932) {
    if (auto utf8 = cp932_to_utf8(cp932)) return *utf8;
    std::string shown;
    for (unsigned char c : cp932) shown += c < 0x80 ? static_cast<char>(c) : '?';
    return shown;
}

bool terminal_reporter::show(message_kind kind, std::string_view text) {
    if (kind == message_kind::error) ++errors_;
    std::fprintf(stderr, "%s: %s\n", terminal_text(message_title(kind)).c_str(), terminal_text(text).c_str());
    return kind == message_kind::confirm ? answer_ : true;
}

}  // namespace qm
