#pragma once

#include <initializer_list>

class QDialog;
class QDialogButtonBox;
class QLayout;
class QPushButton;
class QWidget;

namespace qm {

// OK and Cancel, wired to accept and reject the dialog.
QDialogButtonBox* ok_cancel_buttons(QDialog* dialog);

// The dialog laid out top to bottom: `fields`, or `widgets` in their
// order, then OK and Cancel. Gives the OK button.
QPushButton* lay_out_with_ok_cancel(QDialog* dialog, QLayout* fields);
QPushButton* lay_out_with_ok_cancel(QDialog* dialog, std::initializer_list<QWidget*> widgets);

}  // namespace qm
