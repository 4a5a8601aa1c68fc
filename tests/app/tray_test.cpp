// The notification-area icon, the periodic new-mail check against a real
// Dovecot, and the desktop notification through a private D-Bus.

#include <gtest/gtest.h>

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>
#include <set>
#include <vector>

#include "app/desktop_notification.h"
#include "app/new_mail_checker.h"
#include "app/tray_icon.h"
#include "config/account_settings.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/accounts.h"
#include "support/dovecot_server.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

constexpr int wait_ms = 10000;

TEST(Tray, TheMenuOpensAndExitsAndAClickOpens) {
    tray icon;
    const QList<QAction*> items = icon.menu().actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text() + items[2]->text(), QStringLiteral("開く(&O)終了(&X)"));
    EXPECT_EQ(icon.system_icon().contextMenu(), &icon.menu());

    QSignalSpy opened(&icon, &tray::open_requested), exited(&icon, &tray::exit_requested);
    items[2]->trigger();
    EXPECT_EQ(exited.size(), 1);
    items[0]->trigger();
    emit icon.system_icon().activated(QSystemTrayIcon::Trigger);
    emit icon.system_icon().activated(QSystemTrayIcon::DoubleClick);
    emit icon.system_icon().messageClicked();
    emit icon.system_icon().activated(QSystemTrayIcon::Context);  // the menu, nothing more
    emit icon.system_icon().activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(opened.size(), 4);
    EXPECT_EQ(exited.size(), 1);
}

TEST(Tray, BlinkingShowsTheColoursInOrderAndStopsOnThePlainIcon) {
    tray icon;
    icon.show();
    const qint64 plain = icon.system_icon().icon().cacheKey();
    EXPECT_EQ(icon.phase(), 0);
    icon.start_blinking();
    EXPECT_TRUE(icon.blinking());

    // Each phase seen follows the one before (a slow machine may skip a look, never the order).
    std::vector<int> seen{0};
    std::set<qint64> pictures{plain};
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (icon.phase() != seen.back()) {
                seen.push_back(icon.phase());
                pictures.insert(icon.system_icon().icon().cacheKey());
            }
            return seen.size() >= 4;
        },
        wait_ms));
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]) << "phase " << seen[i];
    EXPECT_EQ(pictures.size(), seen.size());  // every phase its own picture

    icon.stop_blinking();
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.phase(), 0);
    EXPECT_EQ(icon.system_icon().icon().cacheKey(), plain);

    icon.start_blinking();
    QTest::qWait(450);
    icon.hide();  // an icon hidden while it blinks shows plainly next time
    EXPECT_FALSE(icon.blinking());
    EXPECT_EQ(icon.phase(), 0);
    EXPECT_FALSE(icon.visible());
}

// A mailbox with accounts in a temporary data directory.
class NewMailChecker : public ::testing::Test {
protected:
    NewMailChecker() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(make_directory(dir.cp("work/")) && make_directory(mailbox()));
    }
    ~NewMailChecker() override { set_context(saved_context_); }

    std::string mailbox() const { return dir.cp("mailbox/"); }

    void add_account(const std::string& title, int pop_port, std::string password, bool stored = true) {
        account_values values;
        values.address = "alice@example.com";
        values.pop_server = values.smtp_server = "127.0.0.1";
        values.pop_port = std::to_string(pop_port);
        values.pop_id = "alice";
        if (stored) {
            scramble_password(password);
            values.pop_password = password;
        }
        ASSERT_TRUE(create_account(mailbox(), sj(title), values));
    }

    // One visit of all accounts: whether new mail was found.
    bool visit(new_mail_checker& checker) {
        QSignalSpy found(&checker, &new_mail_checker::new_mail_found),
            finished(&checker, &new_mail_checker::check_finished);
        checker.check_now();
        EXPECT_TRUE(QTest::qWaitFor([&] { return found.size() + finished.size() > 0; }, wait_ms));
        EXPECT_FALSE(checker.checking());
        EXPECT_EQ(found.size() + finished.size(), 1);
        return found.size() == 1;
    }

    temp_dir dir;
    program_context saved_context_ = context();
};

TEST_F(NewMailChecker, APlantedMailIsFoundPastAFailingServerAndAnAccountWithoutAStoredPasswordIsNeverAsked) {
    std::unique_ptr<dovecot_server> dovecot;
    start_server(dovecot);
    // Anything connecting here would be a check of the account that has no stored password.
    QTcpServer never_asked;
    ASSERT_TRUE(never_asked.listen(QHostAddress::LocalHost));
    add_account("a-wrong", dovecot->pop3_port(), "not the password");  // silent, and the next one is still asked
    add_account("あとで", never_asked.serverPort(), "", false);
    add_account("本物", dovecot->pop3_port(), dovecot->password());

    std::string root = mailbox();
    int roots_read = 0;
    new_mail_checker checker([&] {
        ++roots_read;
        return root;
    });
    EXPECT_FALSE(visit(checker));
    EXPECT_EQ(roots_read, 4);  // at each visit: the three accounts, then the end of the list

    dovecot->deliver("From: bob@example.com\r\nSubject: hello\r\n\r\nhi\r\n");
    QSignalSpy found(&checker, &new_mail_checker::new_mail_found);
    checker.check_now();
    EXPECT_TRUE(checker.checking());  // the window goes on while the server is asked
    ASSERT_TRUE(found.wait(wait_ms));
    EXPECT_TRUE(checker.found_new_mail());
    EXPECT_EQ(dovecot->message_count(), 1u);  // a check takes nothing from the server

    // Told once: nothing more is asked until the checker is started again.
    checker.check_now();
    EXPECT_FALSE(checker.checking());
    checker.start(1);
    EXPECT_TRUE(checker.running());
    EXPECT_FALSE(checker.found_new_mail());
    EXPECT_TRUE(visit(checker));
    checker.start(0);
    EXPECT_FALSE(checker.running());
    EXPECT_FALSE(never_asked.hasPendingConnections());
    EXPECT_FALSE(never_asked.waitForNewConnection(0));
}

TEST_F(NewMailChecker, StopDuringACheckEndsTheWorker) {
    script_server silent;
    silent.send("+OK ready\r\n").expect("USER alice").pause(std::chrono::minutes(1));
    silent.start();
    add_account("slow", silent.port(), "s3cret");
    new_mail_checker checker([this] { return mailbox(); });
    QSignalSpy found(&checker, &new_mail_checker::new_mail_found),
        finished(&checker, &new_mail_checker::check_finished);
    checker.start(1);
    checker.check_now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.received().find("USER alice") != std::string::npos; }, wait_ms));
    EXPECT_TRUE(checker.checking());
    EXPECT_EQ(checker.account(), "slow");

    checker.stop();
    EXPECT_FALSE(checker.checking());
    EXPECT_FALSE(checker.running());
    EXPECT_TRUE(checker.account().empty());
    QTest::qWait(50);  // nothing of the stopped check comes later
    EXPECT_EQ(found.size() + finished.size(), 0);
    EXPECT_EQ(silent.received().find("PASS"), std::string::npos);
}

// A private session bus with a stand-in notification service on it.
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
    write_bytes(bus_dir / "bus.conf",
                "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir=" + bus_dir.path() + "</listen>"
                "<auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n");
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
    EXPECT_EQ(call[0].toString(), QStringLiteral("Quillmere"));
    EXPECT_EQ(call[1].toUInt(), 0u);
    EXPECT_EQ(call[2].toString(), QStringLiteral("quillmere"));
    EXPECT_EQ(call[3].toString(), QStringLiteral("メールが！"));  // no padding blanks before it
    EXPECT_EQ(call[4].toString(), QString());
    EXPECT_EQ(call[7].toInt(), -1);

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
