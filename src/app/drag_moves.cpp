#include "app/drag_moves.h"

#include <QAbstractItemView>

namespace qm {

void take_part_in_moves_by_drag(QAbstractItemView* view) {
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(true);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDragDropOverwriteMode(true);
    view->setDefaultDropAction(Qt::MoveAction);
    view->setAutoScroll(true);
}

}  // namespace qm
