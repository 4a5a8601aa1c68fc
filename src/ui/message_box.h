#pragma once

#include <string_view>

#include "platform/reporter.h"

class QWidget;

namespace qm {

// The program's message boxes: a notice ("通知", information icon, OK), a
// question ("確認", question icon, OK and Cancel) and an error ("エラー",
// warning icon, OK). True only when a question is answered with OK.
bool show_message(QWidget* parent, message_kind kind, std::string_view cp932_text);
bool show_message_utf8(QWidget* parent, message_kind kind, std::string_view utf8_text);

// The version box: "バージョン情報" with the program's icon and version text.
void show_about(QWidget* parent);

// The core's messages as message boxes over a window, or over the dialog
// open in front of it, so that a box never hides behind a modal dialog.
class message_box_reporter : public reporter {
public:
    explicit message_box_reporter(QWidget* parent) : parent_(parent) {}
    bool show(message_kind kind, std::string_view text) override;

private:
    QWidget* parent_;
};

}  // namespace qm
