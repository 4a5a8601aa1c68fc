#pragma once

#include <QStringList>

class QPushButton;
class QString;
class QWidget;
class QTreeWidget;

namespace qm {

// The lists of the list dialogs (arrange rules, the addresses and the parts
// of a mail): columns with titles, one row selected at a time, the whole
// row shown as focused, named for screen readers by the dialog's title.
void make_report_list(QTreeWidget* list, const QStringList& titles, const QString& accessible_name);

// The row of the selected item, or -1.
int selected_list_row(const QTreeWidget* list);

// Makes `row` the current row and scrolls to it; with -1, the row at
// `fallback_row` instead (the last one when the list got shorter). An
// empty list selects nothing.
void select_list_row(QTreeWidget* list, int row, int fallback_row = -1);

// A button beside such a list (string-table label) that takes no Enter:
// there Enter acts on the selected row.
QPushButton* list_command_button(QWidget* parent, int label);

}  // namespace qm
