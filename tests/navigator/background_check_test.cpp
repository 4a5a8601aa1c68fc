#include <gtest/gtest.h>

#include <vector>

#include "config/settings.h"
#include "navigator/background_check.h"

namespace qm::test {
namespace {

TEST(BackgroundCheck, BlinkSequencePeriodAndPlace) {
    std::vector<int> shown;
    int phase = blink_plain_phase;
    for (int tick = 0; tick < 15; ++tick) shown.push_back(phase = next_blink_phase(phase));
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 4, 5, 6, 0, 1}));
    // A phase that was never set starts over plainly instead of indexing past the icons.
    for (int stray : {-1, 7, 1000}) EXPECT_EQ(next_blink_phase(stray), blink_plain_phase) << stray;

    // A hand-edited setting past the limit must not overflow into a negative period.
    EXPECT_EQ((std::vector<int>{check_period_ms(5), check_period_ms(0), check_period_ms(-3), check_period_ms(2147483647)}),
              (std::vector<int>{300000, 0, 0, max_check_interval * 60000}));
    // The window hides in the tray only when there is one.
    EXPECT_EQ((std::vector<background_place>{background_place_for(0, true), background_place_for(-1, true),
                                             background_place_for(1, true), background_place_for(1, false)}),
              (std::vector<background_place>{background_place::none, background_place::none, background_place::tray,
                                             background_place::minimized}));
}

}  // namespace
}  // namespace qm::test
