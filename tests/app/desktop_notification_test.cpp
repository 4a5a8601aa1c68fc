// The desktop notification of new mail, through a private D-Bus with a
// stand-in notification service on it.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

#include "app/desktop_notification.h"
#include "support/daemon_process.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

constexpr int wait_ms = 10000;

class notification_stand_in : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QStringLiteral("Notify")) return false;
        received.push_back(message.arguments());
        connection.send(message.createReply(QVariantList{static_cast<uint>(received.size())}));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
    std::vector<QVariantList> received;
};

TEST(DesktopNotification, NewMailIsAnnouncedOnThePrivateBusAndAMissingServiceIsNoFailure) {
    if (!exists("/usr/bin/dbus-daemon") && !in_ci()) GTEST_SKIP() << "dbus-daemon is not installed";
    // A bus of its own, which starts no service: a notification daemon installed on the
    // machine must not answer in place of the stand-in.
    temp_dir bus_dir;
    write_bytes(bus_dir / "bus.conf", filled_template("dbus-session.conf", {{"DIR", bus_dir.path()}}));
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + QString::fromStdString(bus_dir / "bus.conf"),
                  QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(wait_ms)) << daemon.errorString().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.canReadLine() || daemon.waitForReadyRead(100); }, wait_ms));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    struct bus_end {
        ~bus_end() { QDBusConnection::disconnectFromBus(name); }
        QString name;
    };
    bus_end sender{QStringLiteral("tray-test-sender")}, receiver{QStringLiteral("tray-test-receiver")};
    QDBusConnection sending = QDBusConnection::connectToBus(address, sender.name);
    QDBusConnection service = QDBusConnection::connectToBus(address, receiver.name);
    ASSERT_TRUE(sending.isConnected() && service.isConnected()) << address.toStdString();

    // Nobody serves the name yet: sent, dropped, nothing else happens.
    EXPECT_TRUE(announce_new_mail_on_desktop(sending));
    // The bus handles a connection's messages in order: once this is answered, the
    // notification above has met the missing service and cannot reach the stand-in.
    sending.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    notification_stand_in notifications;
    ASSERT_TRUE(service.registerVirtualObject(QString::fromLatin1(notification_path), &notifications,
                                              QDBusConnection::SingleNode));
    ASSERT_TRUE(service.registerService(QString::fromLatin1(notification_service)));
    EXPECT_TRUE(announce_new_mail_on_desktop(sending));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifications.received.empty(); }, wait_ms));
    ASSERT_EQ(notifications.received.size(), 1u);
    const QVariantList& call = notifications.received[0];
    ASSERT_EQ(call.size(), 8);
    EXPECT_EQ(call[0].toString() + call[2].toString() + call[3].toString(), QStringLiteral("Quillmerequillmereメールが！"));

    service.unregisterObject(QString::fromLatin1(notification_path));
    // Both ends leave before the bus goes: libdbus aborts on a private connection dropped unclosed.
    sending = service = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(sender.name);
    QDBusConnection::disconnectFromBus(receiver.name);
    daemon.kill();
    daemon.waitForFinished(wait_ms);
    EXPECT_FALSE(announce_new_mail_on_desktop(QDBusConnection(QStringLiteral("no-such-bus"))));
}

}  // namespace
}  // namespace qm::test
