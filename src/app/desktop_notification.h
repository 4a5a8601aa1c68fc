#pragma once

#include <QDBusConnection>
#include <QString>

namespace qm {

// Where the desktop has no notification area, new mail is announced through
// its notification service (org.freedesktop.Notifications): a hidden window
// could not be reached, so the window stays minimized and the announcement
// goes here instead of a balloon.

inline constexpr const char* notification_service = "org.freedesktop.Notifications";
inline constexpr const char* notification_path = "/org/freedesktop/Notifications";
inline constexpr const char* notification_interface = "org.freedesktop.Notifications";
// The icon the desktop looks up in its icon theme (the installed
// share/icons/hicolor/scalable/apps/quillmere.svg).
inline constexpr const char* notification_icon_name = "quillmere";

// Sends the notification "メールが！" from Quillmere without waiting for an
// answer. False, with nothing shown and nothing said, when the bus is not
// there; a desktop without the service answers with an error that is
// dropped.
bool announce_new_mail_on_desktop(const QDBusConnection& bus = QDBusConnection::sessionBus());

}  // namespace qm
