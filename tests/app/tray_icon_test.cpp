// The notification-area icon: its blinking.

#include <gtest/gtest.h>

#include <QTest>

#include "app/tray_icon.h"

namespace qm::test {
namespace {

// The menu, a click on the icon and the blinking are driven end to end; here the end of a blink.
TEST(Tray, HiddenWhileItBlinksTheIconIsPlainAgain) {
    tray icon;
    icon.show();
    const qint64 plain = icon.system_icon().icon().cacheKey();
    icon.start_blinking();
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon.phase() != 0; }, 10000));
    icon.hide();
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.system_icon().icon().cacheKey(), plain);
}

}  // namespace
}  // namespace qm::test
