#include "app/tray_icon.h"

#include <QAction>
#include <QMenu>

#include "app/icons.h"
#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

namespace {
constexpr int balloon_ms = 30000;
}  // namespace

tray::tray(QObject* parent) : QObject(parent), menu_(std::make_unique<QMenu>()) {
    static_assert(blink_phase_count == tray_phase_count, "one picture per blink phase");
    for (int phase = 0; phase < blink_phase_count; ++phase)
        phase_icons_[static_cast<std::size_t>(phase)] = qm::tray_icon(phase);

    QAction* open = menu_->addAction(qs(load_string(str::menu_tray_open)));
    menu_->addSeparator();
    QAction* exit = menu_->addAction(qs(load_string(str::menu_tray_exit)));
    connect(open, &QAction::triggered, this, &tray::open_requested);
    connect(exit, &QAction::triggered, this, &tray::exit_requested);

    icon_.setContextMenu(menu_.get());
    icon_.setToolTip(qs(load_string(str::product_name)));
    show_phase(blink_plain_phase);
    // Queued: opening the window hides the icon, and hiding it destroys the icon's
    // window, which must not happen inside that window's own mouse handler. A
    // click on the icon under the balloon gives both signals for one press.
    connect(&icon_, &QSystemTrayIcon::activated, this, &tray::on_activated, Qt::QueuedConnection);
    connect(&icon_, &QSystemTrayIcon::messageClicked, this, &tray::open_requested, Qt::QueuedConnection);

    blink_timer_.setInterval(blink_interval_ms);
    connect(&blink_timer_, &QTimer::timeout, this, [this] { show_phase(next_blink_phase(phase_)); });
}

// The icon goes before the menu it shows.
tray::~tray() {
    icon_.hide();
    icon_.setContextMenu(nullptr);
}

bool tray::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void tray::show() { icon_.show(); }

void tray::hide() {
    stop_blinking();
    icon_.hide();
}

bool tray::visible() const { return icon_.isVisible(); }

void tray::start_blinking() {
    if (!blink_timer_.isActive()) blink_timer_.start();
}

void tray::stop_blinking() {
    blink_timer_.stop();
    show_phase(blink_plain_phase);
}

void tray::announce_new_mail() {
    icon_.showMessage(qs(load_string(str::product_name)), qs(load_string(str::tray_new_mail)),
                      QSystemTrayIcon::Information, balloon_ms);
}

void tray::show_phase(int phase) {
    phase_ = phase;
    icon_.setIcon(phase_icons_[static_cast<std::size_t>(phase)]);
}

// The right button opens the context menu by itself.
void tray::on_activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit open_requested();
}

}  // namespace qm
