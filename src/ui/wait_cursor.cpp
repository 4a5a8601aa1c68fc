#include "ui/wait_cursor.h"

#include <QApplication>

namespace qm {

void wait_cursor::set(bool on) {
    if (on == on_) return;
    on_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace qm
