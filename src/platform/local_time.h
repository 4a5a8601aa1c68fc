#pragma once

#include <ctime>

namespace qm {

// The local time zone's offset from UTC at the given moment, in minutes east
// of UTC (+540 in Japan), daylight saving included.
int local_utc_offset_minutes(std::time_t when);

// The broken-down local time of a moment.
std::tm local_time(std::time_t when);

}  // namespace qm
