#include "ui/text_field_limit.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

#include "text/display_text.h"

namespace qm {

namespace {

bool fits(const QString& text, std::size_t byte_limit) {
    QString as_stored = text;
    as_stored.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    const QByteArray utf8 = as_stored.toUtf8();
    return fits_field(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), byte_limit);
}

struct text_run {
    qsizetype position = 0;
    qsizetype length = 0;
};

// What took the place of something in `before` to make `after`: the part
// between their common beginning and their common end. (The document's own
// change signal names whole blocks for text an input method commits.)
text_run inserted_run(const QString& before, const QString& after) {
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
    if (prefix > 0 && after[prefix - 1].isHighSurrogate()) --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return {prefix, after.size() - suffix - prefix};
}

// How many characters of the inserted run may stay: the most that leave
// the whole text within the limit, found by halving.
qsizetype fitting_insertion(const QString& text, text_run run, std::size_t byte_limit) {
    const QString before = text.left(run.position), after = text.mid(run.position + run.length);
    qsizetype low = 0, high = run.length;
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (fits(before + text.mid(run.position, middle) + after, byte_limit))
            low = middle;
        else
            high = middle - 1;
    }
    // Never half of a surrogate pair.
    if (low > 0 && text.at(run.position + low - 1).isHighSurrogate()) --low;
    return low;
}

}  // namespace

void keep_text_within_bytes(QPlainTextEdit* field, std::size_t byte_limit) {
    QTextDocument* document = field->document();
    auto last = std::make_shared<QString>(document->toPlainText());
    QObject::connect(document, &QTextDocument::contentsChanged, field, [document, byte_limit, last] {
        const QString text = document->toPlainText();
        // Text that got no longer is let be, even when it came over the
        // limit from elsewhere.
        if (text.size() <= last->size() || fits(text, byte_limit)) {
            *last = text;
            return;
        }
        const text_run run = inserted_run(*last, text);
        const qsizetype kept = fitting_insertion(text, run, byte_limit);
        QTextCursor cut(document);
        cut.setPosition(static_cast<int>(run.position + kept));
        cut.setPosition(static_cast<int>(run.position + run.length), QTextCursor::KeepAnchor);
        // One step with the insertion, so that undo takes back what was
        // typed, not only the cut.
        cut.joinPreviousEditBlock();
        cut.removeSelectedText();
        cut.endEditBlock();
        *last = document->toPlainText();
    });
}

}  // namespace qm
