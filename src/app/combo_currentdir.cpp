#include "app/combo_currentdir.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QSignalBlocker>

namespace qm {

combo_currentdir::combo_currentdir(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, [this](int) {
        // Chosen in the open list with the mouse or Enter.
        if (!view()->isVisible()) take_shown();
    });
}

void combo_currentdir::show_account(int index) {
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
    taken_ = index;
}

void combo_currentdir::take_shown() {
    if (currentIndex() != taken_) {
        taken_ = currentIndex();
        emit account_chosen(taken_);
    }
}

void combo_currentdir::keyPressEvent(QKeyEvent* event) {
    const int last = count() - 1;
    int index = currentIndex();
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        index = std::max(0, index - 1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        index = std::min(last, index + 1);
        break;
    case Qt::Key_PageUp:
    case Qt::Key_Home:
        index = 0;
        break;
    case Qt::Key_PageDown:
    case Qt::Key_End:
        index = last;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        take_shown();
        emit back_to_list();
        return;
    case Qt::Key_Escape:
        show_account(taken_);
        emit back_to_list();
        return;
    default:
        QComboBox::keyPressEvent(event);
        return;
    }
    // Moving through the accounts shows them without switching to each.
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
}

void combo_currentdir::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    if (!view()->isVisible()) take_shown();
}

void combo_currentdir::hidePopup() {
    QComboBox::hidePopup();
    take_shown();
    emit back_to_list();
}

}  // namespace qm
