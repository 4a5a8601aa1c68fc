#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <array>
#include <memory>

#include "navigator/background_check.h"

class QAction;
class QMenu;

namespace qm {

// The program's icon in the notification area while the window is hidden
// there: its menu 開く / 終了, a click that opens the window, the blinking
// while new mail waits, and the balloon that tells of it.
class tray : public QObject {
    Q_OBJECT
public:
    explicit tray(QObject* parent = nullptr);
    ~tray() override;

    // Whether the desktop has a notification area to show the icon in; the
    // window hides there only then (background_place_for).
    static bool available();

    void show();
    // Also stops the blinking: an icon shown again starts plain.
    void hide();
    bool visible() const;

    // Every 200 ms the next colour, while new mail waits; stopping shows the
    // plain icon again.
    void start_blinking();
    void stop_blinking();
    bool blinking() const { return blink_timer_.isActive(); }
    int phase() const { return phase_; }

    // The balloon "メールが！" under the product name, shown for 30 s.
    void announce_new_mail();

    QMenu& menu() const { return *menu_; }
    // For the window's tests: the icon as the desktop sees it.
    QSystemTrayIcon& system_icon() { return icon_; }

signals:
    void open_requested();  // 開く, a click on the icon or on its balloon
    void exit_requested();  // 終了

private:
    void show_phase(int phase);
    void on_activated(QSystemTrayIcon::ActivationReason reason);

    std::unique_ptr<QMenu> menu_;  // a menu has no parent widget here: owned
    QSystemTrayIcon icon_;
    QTimer blink_timer_;
    std::array<QIcon, blink_phase_count> phase_icons_;
    int phase_ = blink_plain_phase;
};

}  // namespace qm
