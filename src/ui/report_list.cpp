#include "ui/report_list.h"

#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

void make_report_list(QTreeWidget* list, const QStringList& titles, const QString& accessible_name) {
    list->setColumnCount(static_cast<int>(titles.size()));
    list->setHeaderLabels(titles);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setAccessibleName(accessible_name);
}

int selected_list_row(const QTreeWidget* list) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

void select_list_row(QTreeWidget* list, int row, int fallback_row) {
    const int count = list->topLevelItemCount();
    if (count == 0) return;
    if (row < 0 || row >= count) {
        if (fallback_row < 0) return;
        row = std::clamp(fallback_row, 0, count - 1);
    }
    list->setCurrentItem(list->topLevelItem(row));
    list->scrollToItem(list->currentItem());
}

QPushButton* list_command_button(QWidget* parent, int label) {
    auto* button = new QPushButton(qs(load_string(label)), parent);
    button->setAutoDefault(false);
    return button;
}

}  // namespace qm
