// The notification-area icon: its menu, its clicks and its blinking.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "app/tray_icon.h"

namespace qm::test {
namespace {

// The menu's 終了, a click on the icon and the blinking are driven end to end; here the other ways in.
TEST(Tray, TheMenuAndTheClicksOpenAndBlinkingEndsOnThePlainIcon) {
    tray icon;
    QSignalSpy opened(&icon, &tray::open_requested);
    icon.menu().actions()[0]->trigger();
    // The menu's entry, a click, a double click and the message open; the menu's click and the middle button do not.
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick})
        emit icon.system_icon().activated(reason);
    emit icon.system_icon().messageClicked();
    // The clicks arrive once the icon's own event is over: opening hides the icon.
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened.size() == 4; }, 1000));

    // Hidden while it blinks, the icon is plain again.
    icon.show();
    const qint64 plain = icon.system_icon().icon().cacheKey();
    icon.start_blinking();
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon.phase() != 0; }, 10000));
    icon.hide();
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.phase(), 0);
    EXPECT_EQ(icon.system_icon().icon().cacheKey(), plain);
}

}  // namespace
}  // namespace qm::test
