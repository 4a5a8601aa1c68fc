#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace qm {

// With the preview hidden, the focused mail's text is drawn behind the tree
// and the list as one page: the list's part is shifted left by the tree's
// width, so that it goes on where the tree's part ends, and up by as much
// as the list starts below the tree, so that the lines meet.
struct background_text {
    QString text;
    QColor colour, background;
    int shift = 0;
    bool shown = false;
    int rise = 0;

    // Fills the view's viewport with the background and draws the text from
    // 20 pixels below its top: only what can reach the viewport, as drawing
    // lays out all it is given at every paint.
    void paint(QWidget* viewport, const QFont& font) const;
};

// The first `lines` lines of the text, each cut after `columns` characters.
QString visible_part(const QString& text, int lines, int columns);

}  // namespace qm
