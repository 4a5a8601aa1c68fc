#include "ui/qt_text.h"

#include "text/display_text.h"
#include "ui/message_box.h"

namespace qm {

QString qs(std::string_view cp932) {
    const std::string utf8 = display_utf8(cp932);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::optional<std::string> typed_cp932(const QString& text, QWidget* parent) {
    const QByteArray utf8 = text.toUtf8();
    typed_text typed = typed_to_cp932(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    if (typed.ok) return std::move(typed.text);
    show_message_utf8(parent, message_kind::notice, refusal_notice(typed));
    return std::nullopt;
}

QString without_mnemonic(const QString& label) {
    QString plain = label;
    plain.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    plain.remove(QLatin1Char('&'));
    plain.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return plain;
}

}  // namespace qm
