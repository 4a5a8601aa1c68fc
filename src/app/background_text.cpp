#include "app/background_text.h"

#include <QPainter>
#include <QWidget>

namespace qm {

namespace {

constexpr int text_top = 20;

}  // namespace

void background_text::paint(QWidget* viewport, const QFont& font) const {
    if (!shown) return;
    QPainter painter(viewport);
    painter.fillRect(viewport->rect(), background);
    painter.setPen(colour);
    painter.setFont(font);
    painter.drawText(viewport->rect().adjusted(-shift, text_top - rise, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs,
                     text);
}

}  // namespace qm
