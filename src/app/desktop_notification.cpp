#include "app/desktop_notification.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

namespace {
constexpr int server_default_timeout = -1;
constexpr uint replaces_nothing = 0;
}  // namespace

bool announce_new_mail_on_desktop(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    QDBusMessage notify = QDBusMessage::createMethodCall(QString::fromLatin1(notification_service),
                                                         QString::fromLatin1(notification_path),
                                                         QString::fromLatin1(notification_interface),
                                                         QStringLiteral("Notify"));
    notify << qs(load_string(str::product_name)) << replaces_nothing << QString::fromLatin1(notification_icon_name)
           << qs(load_string(str::tray_new_mail)) << QString() << QStringList() << QVariantMap()
           << server_default_timeout;
    // Without the reply: a missing service is no failure of ours.
    notify.setAutoStartService(true);
    return bus.send(notify);
}

}  // namespace qm
