#include "ui/view_style.h"

#include <QFontDatabase>
#include <cstdlib>

#include "ui/qt_text.h"

namespace qm {

QColor qcolor(colour value) { return QColor(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff); }

namespace {

QString installed_face(const QString& wanted) {
    const QStringList families = QFontDatabase::families();
    if (!wanted.isEmpty() && families.contains(wanted, Qt::CaseInsensitive)) return wanted;
    for (const char* face : fallback_japanese_faces) {
        if (families.contains(QString::fromLatin1(face), Qt::CaseInsensitive)) return QString::fromLatin1(face);
    }
    return QString();
}

}  // namespace

QFont view_font(const Settings& s) {
    QFont font;
    const QString face = installed_face(qs(s.font_name));
    if (!face.isEmpty()) font.setFamily(face);
    // The size is a character height in pixels (negative) as the font
    // chooser of old gave it; a positive one is the cell height.
    const int pixels = std::abs(s.font_size);
    if (pixels > 0) font.setPixelSize(pixels);
    else if (s.font_point > 0) font.setPointSize(s.font_point);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(s.font_weight / 10 * 10, 100, 900)));
    font.setItalic(s.font_italic);
    return font;
}

}  // namespace qm
