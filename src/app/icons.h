#pragma once

#include <QIcon>

namespace qm {

// The program's icons. The pictures are SVG files drawn for Quillmere in
// resources/icons/ and compiled in from resources/icons/icons.qrc (prefix
// "/icons"); the target that compiles icons.cpp must list that .qrc file as
// well (AUTORCC). Toolbar and row icons come from the desktop's icon theme
// under their freedesktop names when the theme has them, and fall back to
// our own pictures; the program icon and the blinking tray icons are always
// ours, so that the program looks the same on every desktop.

// The program icon: an envelope and a quill. Window, about box, tray.
QIcon main_icon();

// The number of phases of the blinking tray icon.
inline constexpr int tray_phase_count = 7;

// The tray icon of a blink phase: 0 the program icon, 1-6 the same picture
// in orange, yellow, green, cyan, blue and purple. Other phases wrap
// (7 is 0 again, -1 is 6). Each call reads the picture anew: a caller that
// blinks keeps the seven icons.
QIcon tray_icon(int phase);

// The icon of a toolbar command (qm::cmd::open to qm::cmd::search_text); a
// null icon for any other command.
QIcon command_icon(int command);

enum class row_icon_kind { folder, trash, mail };

// The icon at the head of a row of the folder tree and the mail list: the
// trash folder, any other folder, a mail.
QIcon row_icon(row_icon_kind kind);

}  // namespace qm
