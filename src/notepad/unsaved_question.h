#pragma once

#include <QString>

class QWidget;

namespace qm {

enum class unsaved_answer { save, discard, cancel };

// The question before a window with unsaved changes closes: "確認", the
// file's name, and 保存する / 保存しない / キャンセル. Esc and closing the box
// cancel.
unsaved_answer ask_about_unsaved_changes(QWidget* parent, const QString& file_name);

}  // namespace qm
