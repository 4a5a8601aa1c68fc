#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace qm {

// The widgets speak QString, the program CP932: these two are the only
// crossing, and both go through the program's own converter.

// CP932 text for a widget (a bad byte shows as U+FFFD, the rest stays).
QString qs(std::string_view cp932);

// Typed text as CP932. Text holding a character CP932 cannot hold is
// refused whole: the user is told which character, over `parent`, and the
// result is empty.
std::optional<std::string> typed_cp932(const QString& text, QWidget* parent);

// A menu label without its "&" markers ("開く(&O)" gives "開く(O)"), as the
// status bar and tool tips show it.
QString without_mnemonic(const QString& label);

}  // namespace qm
