#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// Titles are at most 127 bytes and texts 255 in the boxes of old; longer
// texts (a path in a message) are shown whole here, as cutting them helps
// nobody.
QMessageBox::Icon icon_of(message_kind kind) {
    switch (kind) {
    case message_kind::confirm:
        return QMessageBox::Question;
    case message_kind::error:
        return QMessageBox::Warning;
    default:
        return QMessageBox::Information;
    }
}

bool run_box(QWidget* parent, message_kind kind, const QString& text) {
    QMessageBox box(icon_of(kind), qs(message_title(kind)), text,
                    kind == message_kind::confirm ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace

bool show_message(QWidget* parent, message_kind kind, std::string_view cp932_text) {
    return run_box(parent, kind, qs(cp932_text));
}

bool show_message_utf8(QWidget* parent, message_kind kind, std::string_view utf8_text) {
    return run_box(parent, kind, QString::fromUtf8(utf8_text.data(), static_cast<qsizetype>(utf8_text.size())));
}

bool message_box_reporter::show(message_kind kind, std::string_view text) {
    QWidget* modal = QApplication::activeModalWidget();
    return show_message(modal ? modal : parent_, kind, text);
}

void show_about(QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(qs(load_string(str::about_title)));
    box.setText(qs(load_string(str::version_text)));
    box.setIconPixmap(QApplication::windowIcon().pixmap(48, 48));
    box.setStandardButtons(QMessageBox::Ok);
    // Wide enough that the window manager shows the whole title.
    box.setStyleSheet(QStringLiteral("QLabel { min-width: 16em; }"));
    box.exec();
}

}  // namespace qm
