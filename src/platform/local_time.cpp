#include "platform/local_time.h"

namespace qm {

std::tm local_time(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

int local_utc_offset_minutes(std::time_t when) {
    return static_cast<int>(local_time(when).tm_gmtoff / 60);
}

}  // namespace qm
