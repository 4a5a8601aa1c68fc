#pragma once

namespace qm {

// The rules of the window's life in the background: where it goes when it
// is minimized or closed while new mail is checked for, how often the check
// runs, and how the tray icon blinks while new mail waits. The window and
// its tray icon follow them; they hold no state of their own.

// One blink phase of the tray icon lasts this long.
inline constexpr int blink_interval_ms = 200;
// Phase 0 is the plain program icon; 1 to 6 are the same picture in orange,
// yellow, green, cyan, blue and purple.
inline constexpr int blink_phase_count = 7;
inline constexpr int blink_plain_phase = 0;

// The phase after `phase`: 0, 1, ... 6, then 0 again. A phase out of range
// (a state that was never set) starts over at the plain icon.
int next_blink_phase(int phase);

// The check timer's period for a check interval in minutes: minutes ×
// 60000. 0 (the check is off) for 0 or a negative value; an interval past
// the settings' limit counts as that limit.
int check_period_ms(int interval_minutes);

// Where the window goes when it is minimized, or closed while it checks for
// new mail.
enum class background_place {
    none,       // the check is off: minimized as any window, or closed
    tray,       // hidden, reached again through the notification-area icon
    minimized,  // no notification area to hide in: it stays on the task bar
                // (a hidden window could not be reached), and new mail is
                // announced through the desktop's notification service
};

background_place background_place_for(int check_interval, bool tray_available);

}  // namespace qm
