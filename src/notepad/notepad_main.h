#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include <QFont>

#include "notepad/notepad_window.h"

namespace qm {

// quillmere-notepad FILE. Exit code 0 after the window closed; 1, after a
// message, when no file is named (or more than one) or the file cannot be
// opened. A missing file is not created: the program opens the files the
// mail client hands it, which exist.
int notepad_main(int argc, char** argv);

// "--help" and "--version", answered on stdout before any window or display
// is needed: their exit code, or nothing when the program is to open a file.
// A file whose name begins with "-" is named after "--".
std::optional<int> answered_notepad_option(int argc, char** argv);

// The window for the file named on the command line (as the system names
// it), in `font`; nullptr after telling the user why there is none.
std::unique_ptr<notepad_window> open_notepad(int argc, char** argv, const QFont& font);

// The user's view font from the settings, or the installed Japanese face
// when the settings cannot be read.
QFont notepad_font();

}  // namespace qm
