// New mail: the periodic check against scripted servers that refuse and stall, the end of the tray
// icon's blink, and the desktop notification through a private D-Bus with a stand-in notification
// service on it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>

#include "app/desktop_notification.h"
#include "app/new_mail_checker.h"
#include "app/tray_icon.h"
#include "app/window_fixture.h"
#include "support/daemon_process.h"
#include "support/script_server.h"

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

// A refusing server does not end the visit and an account without a stored password is never asked;
// a stop while a server stalls ends the worker, and nothing of the stopped check comes later.
// (Mail found through a real Dovecot is driven by the tray's end-to-end journey.)
TEST(NewMailChecker, TheVisitGoesPastARefusalAndAStopDuringACheckEndsTheWorker) {
    const saved_context saved;
    temp_dir dir;
    fresh_data_directory({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
    script_server refusing, silent;
    refusing.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "-ERR no\r\n"}}).close();
    silent.send("+OK ready\r\n").expect("USER alice").pause(std::chrono::minutes(1));
    refusing.start();
    silent.start();
    QTcpServer never_asked;
    ASSERT_TRUE(never_asked.listen(QHostAddress::LocalHost));
    for (auto [title, account] : {std::pair{"a-wrong", loopback_account(refusing.port())},
                                  {"b-later", loopback_account(never_asked.serverPort(), "")},
                                  {"slow", loopback_account(silent.port())}})
        ASSERT_TRUE(create_account(settings().mailbox, title, account));
    new_mail_checker checker([mailbox = settings().mailbox] { return mailbox; });
    QSignalSpy found(&checker, &new_mail_checker::new_mail_found),
        finished(&checker, &new_mail_checker::check_finished);
    checker.start(1);
    checker.check_now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.received().find("USER alice") != std::string::npos; }, wait_ms))
        << checker.account() << refusing.received();
    EXPECT_TRUE(refusing.wait_done());
    checker.stop();
    EXPECT_FALSE(checker.checking() || checker.running());
    QTest::qWait(50);
    EXPECT_EQ(found.size() + finished.size(), 0);
    EXPECT_EQ(silent.received().find("PASS"), std::string::npos);
    EXPECT_FALSE(never_asked.hasPendingConnections() || never_asked.waitForNewConnection(0));
}

// The menu, a click on the icon and the blinking are driven end to end; here the end of a blink.
TEST(Tray, HiddenWhileItBlinksTheIconIsPlainAgain) {
    tray icon;
    icon.show();
    const qint64 plain = icon.system_icon().icon().cacheKey();
    icon.start_blinking();
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon.phase() != 0; }, wait_ms));
    icon.hide();
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.system_icon().icon().cacheKey(), plain);
}

}  // namespace
}  // namespace qm::test
