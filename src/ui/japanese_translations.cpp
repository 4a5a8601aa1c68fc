#include "ui/japanese_translations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace qm {

void load_japanese_translations(QApplication& app) {
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_ja"}) {
        auto translator = std::make_unique<QTranslator>(&app);
        // The application owns an installed translator from here on.
        if (translator->load(QString::fromLatin1(name), directory)) app.installTranslator(translator.release());
    }
}

}  // namespace qm
