#pragma once

#include <QColor>
#include <QFont>

#include "config/settings.h"

namespace qm {

// What the views take from the view settings: one font for every view and
// the six colours.

QColor qcolor(colour value);

// The settings' font. A face the system lacks (the Windows "ＭＳ ゴシック"
// of every default) becomes the installed Japanese face, so that kanji never
// show as boxes.
QFont view_font(const Settings& s);

// The face used when the one named is not installed.
inline constexpr const char* fallback_japanese_faces[] = {"Noto Sans CJK JP", "Noto Sans Mono CJK JP", "IPAGothic",
                                                          "IPAexGothic", "VL Gothic", "TakaoGothic"};

}  // namespace qm
