#pragma once

#include <optional>
#include <string>

class QAbstractItemView;
class QMimeData;

namespace qm {

// The mail list and the folder tree move mail and folders by drag and drop:
// both are drag sources and drop targets, a drop highlights the row it would
// land on, and a drag near an edge scrolls the view.
void take_part_in_moves_by_drag(QAbstractItemView* view);

// The folder a drag from the tree carries; nothing when it carries list rows.
std::optional<std::string> dragged_folder_of(const QMimeData* data);

}  // namespace qm
