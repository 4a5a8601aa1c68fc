#pragma once

class QWidget;

namespace qm {

// The help window "説明": lines of the help text "quillmere.txt" shown
// read-only beside the dialog that asked for them. Only one is open at a
// time; asking again replaces its text. Esc or "閉じる" closes it.
//
// The sections the dialogs show, by first line (counted from 1) and count.
struct help_section {
    int first_line;
    int line_count;
};
inline constexpr help_section view_options_help{230, 35};
inline constexpr help_section function_options_help{267, 94};
inline constexpr help_section account_help{377, 120};

void show_help(QWidget* parent, help_section section);

}  // namespace qm
