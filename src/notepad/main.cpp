// quillmere-notepad: the mail client's default text viewer and editor.

#include <QApplication>
#include <clocale>

#include "notepad/notepad_main.h"
#include "ui/japanese_translations.h"

int main(int argc, char** argv) {
    if (const std::optional<int> answered = qm::answered_notepad_option(argc, argv)) return *answered;
    QApplication app(argc, argv);
    // Qt takes the user's locale; the core's numbers stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("quillmere-notepad"));
    qm::load_japanese_translations(app);
    // QApplication has taken its own options out of argc and argv.
    return qm::notepad_main(argc, argv);
}
