#pragma once

// Typing as a user does: ASCII from the keyboard, Japanese as an input
// method hands it over, one committed run at a time.

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <string>

namespace qm::test {

// Text as an input method commits it, at the cursor (over the selection).
inline void commit_text(QWidget* field, const std::string& utf8) {
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8(utf8.c_str()));
    QApplication::sendEvent(field, &commit);
}

// Replaces the field's text with `utf8`, as selecting it all, pressing
// Delete and typing would.
inline void type_into(QLineEdit* field, const std::string& utf8) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    const QString text = QString::fromUtf8(utf8.c_str());
    for (qsizetype at = 0; at < text.size();) {
        const bool ascii = text[at].unicode() < 0x80;
        qsizetype end = at;
        while (end < text.size() && (text[end].unicode() < 0x80) == ascii) ++end;
        if (ascii)
            QTest::keyClicks(field, text.mid(at, end - at));
        else
            commit_text(field, text.mid(at, end - at).toStdString());
        at = end;
    }
}

}  // namespace qm::test
