#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace qm {

// The "Date:" line of outgoing mail in local time, for example
// "Date: Tue, 2 Mar 2010 23:30:00 +0900\n"; names are English whatever the
// locale, the offset is that of the system time zone at that moment.
std::string make_date_line(std::time_t now);
std::string make_date_line();  // at the current time

// Rewrites a header file with a fresh "Date:" line in place of every line
// that starts with "Date" (any case; its folded continuation lines go with
// it), or appended when there is none. False, with the file untouched, when
// it cannot be read or rewritten.
bool set_date_header(std::string_view header_path);

// The mail list's date column from a message's header text (as read in
// text mode): its "Date" field in local time as "%02d.%2d.%2d %2d:%02d"
// (year, month, day, hour, minute), always list_date_length characters. A
// field that cannot be read gives list_date_fallback. A month name that is
// not known shows as 13.
inline constexpr std::size_t list_date_length = 14;
inline constexpr std::string_view list_date_fallback = "??. ?. ? ??:??";
std::string format_header_list_date(std::string_view header_text);

// The date the preview shows: the same field in local time as
// "%04d/%02d/%02d %02d:%02d"; empty when it cannot be read.
std::string format_header_reading_date(std::string_view header_text);

}  // namespace qm
