#include "app/drag_moves.h"

#include <QAbstractItemView>
#include <QMimeData>

#include "app/mail_list_model.h"

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

std::optional<std::string> dragged_folder_of(const QMimeData* data) {
    const QString type = QString::fromLatin1(dragged_folder_type);
    if (!data->hasFormat(type)) return std::nullopt;
    const QByteArray folder = data->data(type);
    return std::string(folder.constData(), static_cast<std::size_t>(folder.size()));
}

}  // namespace qm
