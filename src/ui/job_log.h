#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// The log box of a job dialog holds fewer characters than this, its
// terminating zero counted: the oldest lines go first.
inline constexpr std::size_t job_log_limit = 49152;

// Appends a trace text (CP932, lines ending in CR LF) to the log. When the log
// then holds `limit` characters or more with its terminating zero, whole lines
// are dropped from the front, each up to and with its line feed, until it is
// shorter; a single line longer than that keeps its end, cut at a character
// boundary. True when something was dropped (the box shows the text anew).
bool append_to_job_log(std::string& log, std::string_view text, std::size_t limit = job_log_limit);

}  // namespace qm
