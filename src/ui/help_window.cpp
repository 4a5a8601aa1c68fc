#include "ui/help_window.h"

#include <algorithm>

#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/string_table.h"
#include "ui/bundled_file.h"
#include "ui/help_text.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// The help text is written for lines of at most this many full-width
// characters; the window opens wide enough to show them unbroken, and about
// this many lines high (text and button).
constexpr int help_line_characters = 38;
constexpr int help_window_lines = 32;

class help_window : public QDialog {
public:
    explicit help_window(QWidget* owner) {
        setObjectName(QStringLiteral("dialog_help"));
        setAttribute(Qt::WA_DeleteOnClose);
        setModal(false);
        setWindowTitle(qs(load_string(str::help_title)));

        text_ = new QPlainTextEdit(this);
        text_->setReadOnly(true);
        text_->setObjectName(QStringLiteral("help_text"));
        auto* buttons = new QDialogButtonBox(this);
        QPushButton* close = buttons->addButton(qs(load_string(str::help_close)), QDialogButtonBox::RejectRole);
        close->setObjectName(QStringLiteral("help_close"));
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(text_);
        layout->addWidget(buttons);

        // A first size that shows the lines unbroken; the user may make it
        // smaller or larger.
        const QFontMetrics metrics(text_->font());
        resize(metrics.horizontalAdvance(QString(help_line_characters, QChar(0x3042))) + 64,
               metrics.lineSpacing() * help_window_lines);
        set_owner(owner);
    }

    // Beside the dialog rather than over it, as far as the screen allows.
    void place_beside_owner() {
        QWidget* owner = parentWidget();
        if (!owner || !owner->isVisible()) return;
        const QRect owner_frame = owner->frameGeometry();
        QPoint at = owner_frame.topRight() + QPoint(8, 0);
        if (const QScreen* screen = owner->screen()) {
            const QRect room = screen->availableGeometry();
            at.setX(std::max(room.left(), std::min(at.x(), room.right() - width())));
            at.setY(std::max(room.top(), std::min(at.y(), room.bottom() - height())));
        }
        move(at);
    }

    // The dialog the window belongs to: it stays usable beside that dialog,
    // even a modal one, and goes when that dialog ends.
    void set_owner(QWidget* owner) {
        if (parentWidget() == owner) return;
        if (parentWidget()) disconnect(parentWidget(), nullptr, this, nullptr);
        setParent(owner, windowFlags() | Qt::Window);
        if (auto* dialog = qobject_cast<QDialog*>(owner)) connect(dialog, &QDialog::finished, this, &QWidget::close);
    }

    void show_text(const QString& text) {
        text_->setPlainText(text);
        text_->moveCursor(QTextCursor::Start);
        text_->setFocus();
    }

private:
    QPlainTextEdit* text_;
};

// The one help window, while it is open.
QPointer<help_window>& open_help_window() {
    static QPointer<help_window> window;
    return window;
}

QString section_text(help_section section) {
    std::optional<std::string> path = find_bundled_file(help_file_name);
    if (!path) return qs(missing_bundled_file_text(str::help_missing, help_file_name));
    std::optional<std::string> text = help_section_text(*path, section);
    if (!text) return qs(load_string(str::help_unreadable) + "\n" + *path);
    if (!text->empty() && text->back() == '\n') text->pop_back();
    return qs(*text);
}

}  // namespace

void show_help(QWidget* parent, help_section section) {
    QPointer<help_window>& window = open_help_window();
    if (window) {
        window->set_owner(parent);
    } else {
        window = new help_window(parent);
        window->place_beside_owner();
    }
    window->show_text(section_text(section));
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace qm
