#include "app/edit_preview.h"

#include <QKeyEvent>

namespace qm {

edit_preview::edit_preview(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    // Lines wrap at the pane's width where the text may break: between
    // words, and in Japanese between characters, never before "。", "、",
    // "」" and the like (Unicode's line breaking rules).
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);
}

void edit_preview::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
        emit back_to_list();
        return;
    default:
        QPlainTextEdit::keyPressEvent(event);
    }
}

}  // namespace qm
