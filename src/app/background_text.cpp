#include "app/background_text.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace qm {

namespace {

constexpr int text_top = 20;

// The characters a line of the view can show at most: as many as the
// narrowest of the usual ones fit into its width.
int columns_within(int width, const QFontMetrics& metrics) {
    int narrowest = metrics.averageCharWidth();
    for (QChar c : QStringLiteral(" .,:;'|!ijl1")) narrowest = std::min(narrowest, metrics.horizontalAdvance(c));
    return width / std::max(1, narrowest) + 1;
}

}  // namespace

QString visible_part(const QString& text, int lines, int columns) {
    QString part;
    for (qsizetype start = 0; lines-- > 0 && start < text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) end = text.size();
        part += QStringView(text).mid(start, std::min<qsizetype>(end - start, columns));
        part += QLatin1Char('\n');
        start = end + 1;
    }
    return part;
}

void background_text::paint(QWidget* viewport, const QFont& font) const {
    if (!shown) return;
    QPainter painter(viewport);
    painter.fillRect(viewport->rect(), background);
    painter.setPen(colour);
    painter.setFont(font);
    const QRect area = viewport->rect().adjusted(-shift, text_top - rise, 0, 0);
    const QFontMetrics metrics(font);
    const int lines = area.height() / std::max(1, metrics.lineSpacing()) + 1;
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs,
                     visible_part(text, lines, columns_within(area.width(), metrics)));
}

}  // namespace qm
