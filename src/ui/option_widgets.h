#pragma once

#include <QString>

#include "ui/help_window.h"

class QDialog;
class QDialogButtonBox;
class QPushButton;
class QWidget;

namespace qm {

// What the option dialogs are built of.

// A string-table text for a widget.
QString option_text(int id);

// A button beside a field or a list: Enter in the dialog means OK, never
// this button.
QPushButton* side_button(QWidget* parent, int label);

// OK, Cancel and "Help" of an option dialog, wired to it; "Help" shows
// `section` of the help text beside the dialog.
QDialogButtonBox* option_buttons(QDialog* dialog, help_section section);

// Runs an option dialog: 1 when it was accepted (it saved the settings), 2
// when it was cancelled.
int run_option_dialog(QDialog& dialog);

}  // namespace qm
