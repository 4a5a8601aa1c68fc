#include "navigator/background_check.h"

#include <algorithm>

#include "config/settings.h"

namespace qm {

namespace {
constexpr int ms_per_minute = 60000;
static_assert(max_check_interval <= 2147483647 / ms_per_minute, "the longest period fits an int");
}  // namespace

int next_blink_phase(int phase) {
    if (phase < 0 || phase >= blink_phase_count - 1) return blink_plain_phase;
    return phase + 1;
}

int check_period_ms(int interval_minutes) {
    if (interval_minutes <= 0) return 0;
    return std::min(interval_minutes, max_check_interval) * ms_per_minute;
}

background_place background_place_for(int check_interval, bool tray_available) {
    if (check_interval <= 0) return background_place::none;
    return tray_available ? background_place::tray : background_place::minimized;
}

}  // namespace qm
