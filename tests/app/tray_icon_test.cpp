// The notification-area icon: its menu, its clicks and its blinking.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "app/tray_icon.h"

namespace qm::test {
namespace {

TEST(Tray, TheMenuOpensAndExitsAClickOpensAndBlinkingEndsOnThePlainIcon) {
    tray icon;
    const QList<QAction*> items = icon.menu().actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(icon.system_icon().contextMenu(), &icon.menu());
    QSignalSpy opened(&icon, &tray::open_requested), exited(&icon, &tray::exit_requested);
    items[2]->trigger();
    EXPECT_EQ(exited.size(), 1);
    items[0]->trigger();
    // The menu's entry, a click, a double click and the message open; the menu's click and the middle button do not.
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick})
        emit icon.system_icon().activated(reason);
    emit icon.system_icon().messageClicked();
    EXPECT_EQ(opened.size(), 4);
    EXPECT_EQ(exited.size(), 1);

    // Each phase seen follows the one before (a slow machine may skip a look, never the order);
    // stopped, the icon is plain again.
    icon.show();
    const qint64 plain = icon.system_icon().icon().cacheKey();
    icon.start_blinking();
    std::vector<int> seen{0};
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (icon.phase() != seen.back()) seen.push_back(icon.phase());
            return seen.size() >= 4;
        },
        10000));
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]) << "phase " << seen[i];
    icon.stop_blinking();
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.system_icon().icon().cacheKey(), plain);
    icon.start_blinking();
    QTest::qWait(450);
    icon.hide();  // an icon hidden while it blinks shows plainly next time
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.phase(), 0);
    EXPECT_FALSE(icon.visible());
}

}  // namespace
}  // namespace qm::test
