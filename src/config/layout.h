#pragma once

#include <array>
#include <string>
#include <string_view>

namespace qm {

// The main window's layout as it survives from one run to the next
// ("layout.ini" in the data directory).
inline constexpr int layout_column_count = 6;
inline constexpr int layout_mark_count = 12;

struct Layout {
    int position_x = 0, position_y = 0;  // top-left corner of the main window
    int size_x = 780, size_y = 560;      // its outer size
    // Widths of the mail list's columns: attribute, date, party, subject,
    // size, thread.
    int column_width[layout_column_count] = {54, 96, 158, 226, 48, 60};
    int sort_column = 1;
    float tree_ratio = 0.20f;     // folder tree width / window width
    float preview_ratio = 0.30f;  // preview height / window height
    bool maximized = false, sort_descending = false;
    std::string current;  // the folder shown, relative to the mailbox root, ends with "/"
    std::array<std::string, layout_mark_count> marks;  // relative to the mailbox root; empty when unset
    std::string previous;  // where the go-to-mark command returns to
};

// Whether the width of a column is the user's own: the shipped widths in
// the file only say that nobody has set one, and the window then fits the
// column to its font.
bool column_width_is_users(const Layout& layout, int column);

std::string layout_path();

// Writes "layout.ini" with every default when it is missing: all at once,
// so that a failure leaves no file behind. An existing file is left alone
// (true). False when the file cannot be written.
bool write_default_layout();

// Reads every value, with the default for a missing key. A pane ratio
// outside [0, 1) falls back to its default; "\" in the folder paths becomes
// "/". The previous position starts at the folder shown.
void load_layout(Layout& layout);

// Writes every value in one rewrite; false, with the file as it was, when
// that fails. A folder path that cannot be stored on one line (a name made
// outside the program with a line break in it) is written empty.
bool save_layout(const Layout& layout);

}  // namespace qm
