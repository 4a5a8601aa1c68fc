#pragma once

class QAbstractItemView;

namespace qm {

// The mail list and the folder tree move mail and folders by drag and drop:
// both are drag sources and drop targets, a drop highlights the row it would
// land on, and a drag near an edge scrolls the view.
void take_part_in_moves_by_drag(QAbstractItemView* view);

}  // namespace qm
