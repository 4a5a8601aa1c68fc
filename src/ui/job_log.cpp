#include "ui/job_log.h"

#include "base/multibyte.h"

namespace qm {

namespace {

bool fits(const std::string& log, std::size_t limit) { return log.size() + 1 < limit; }

// The first character boundary from which the rest fits: a line without an
// end that is too long on its own loses its beginning, never half a
// double-byte character.
std::size_t tail_start(std::string_view log, std::size_t limit) {
    std::size_t pos = 0;
    while (pos < log.size() && log.size() - pos + 1 >= limit) pos += char_length(log, pos);
    return pos;
}

}  // namespace

bool append_to_job_log(std::string& log, std::string_view text, std::size_t limit) {
    log.append(text);
    if (fits(log, limit)) return false;
    std::size_t cut = 0;
    while (log.size() - cut + 1 >= limit) {
        const std::size_t line_feed = log.find('\n', cut);
        if (line_feed == std::string::npos) {
            cut += tail_start(std::string_view(log).substr(cut), limit);
            break;
        }
        cut = line_feed + 1;
    }
    log.erase(0, cut);
    return true;
}

}  // namespace qm
