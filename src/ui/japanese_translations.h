#pragma once

class QApplication;

namespace qm {

// The windows speak Japanese, so Qt's standard buttons and choosers do too
// (qt6-translations-l10n); without the translations they stay English.
void load_japanese_translations(QApplication& app);

}  // namespace qm
