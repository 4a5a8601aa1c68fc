#include "notepad/notepad_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>
#include <algorithm>

#include "base/format.h"
#include "notepad/unsaved_question.h"
#include "platform/string_table.h"
#include "text/display_text.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

constexpr int tab_width_in_spaces = 8;
constexpr QSize first_size(720, 540);

QString text_of(int id) { return qs(load_string(id)); }

// A string-table text, a line break and a CP932 path, for a message box.
std::string with_path(int id, std::string_view path) {
    return display_utf8(load_string(id)) + "\n" + display_utf8(path);
}

}  // namespace

notepad_window::notepad_window(text_document document, held_file hold, const QFont& font, draft_sender sender,
                               QWidget* parent)
    : QMainWindow(parent), document_(std::move(document)), hold_(std::move(hold)),
      editor_(new QPlainTextEdit(this)), position_(new QLabel(this)), sender_(std::move(sender)) {
    show_text(font);
    show_title();
    build_status_bar();
    build_file_menu();
    build_edit_menu();
    build_search_menu();
    resize(first_size);
    editor_->setFocus();
}

void notepad_window::show_text(const QFont& font) {
    editor_->setFont(font);
    editor_->setTabStopDistance(editor_->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * tab_width_in_spaces);
    const std::string text = shown_text(document_);
    editor_->setPlainText(document_.utf8 ? QString::fromStdString(text) : qs(text));
    if (document_.read_only) {
        editor_->setReadOnly(true);
        // Read-only still moves a cursor, so that search and go-to-line show where they went.
        editor_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        // A selectable text still takes what an input method commits.
        editor_->installEventFilter(this);
    }
    setCentralWidget(editor_);
}

void notepad_window::show_title() {
    const QString title = QString::fromStdString(mail_title(document_));
    // "[*]" is where Qt puts the mark of unsaved changes; one in the name itself is doubled to stay text.
    setWindowTitle(QString(title).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")) + QStringLiteral("[*]"));
    editor_->setAccessibleName(title);
    setWindowIcon(QIcon::fromTheme(QStringLiteral("accessories-text-editor")));
    connect(editor_->document(), &QTextDocument::modificationChanged, this, &QWidget::setWindowModified);
}

void notepad_window::build_status_bar() {
    auto* where = new QLabel(qs(document_.path), this);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path is cut at the window's edge rather than widening the window.
    where->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(where, 1);
    statusBar()->addPermanentWidget(position_);
    connect(editor_, &QPlainTextEdit::cursorPositionChanged, this, &notepad_window::show_position);
    show_position();
}

QAction* notepad_window::add_action(QMenu* menu, int label_id, const QKeySequence& keys, std::function<void()> run) {
    QAction* act = menu->addAction(text_of(label_id));
    act->setShortcut(keys);
    connect(act, &QAction::triggered, this, std::move(run));
    return act;
}

void notepad_window::build_file_menu() {
    QMenu* file = menuBar()->addMenu(text_of(str::notepad_menu_file));
    add_action(file, str::notepad_save, QKeySequence::Save, [this] { save(); })->setEnabled(!document_.read_only);
    if (can_send()) {
        // The editor takes Ctrl+Enter itself (eventFilter); the menu only shows the key.
        QAction* send_action = add_action(file, str::notepad_send, QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { send(); });
        send_action->setShortcutContext(Qt::WidgetShortcut);
        editor_->installEventFilter(this);
    }
    file->addSeparator();
    add_action(file, str::menu_close, QKeySequence::Close, [this] { close(); });
}

void notepad_window::build_edit_menu() {
    QMenu* edit = menuBar()->addMenu(text_of(str::menu_edit));
    QAction* undo = add_action(edit, str::notepad_undo, QKeySequence::Undo, [this] { editor_->undo(); });
    QAction* redo = add_action(edit, str::notepad_redo, QKeySequence::Redo, [this] { editor_->redo(); });
    edit->addSeparator();
    QAction* cut = add_action(edit, str::notepad_cut, QKeySequence::Cut, [this] { editor_->cut(); });
    QAction* copy = add_action(edit, str::notepad_copy, QKeySequence::Copy, [this] { editor_->copy(); });
    QAction* paste = add_action(edit, str::notepad_paste, QKeySequence::Paste, [this] { editor_->paste(); });
    edit->addSeparator();
    add_action(edit, str::menu_select_all, QKeySequence::SelectAll, [this] { editor_->selectAll(); });

    // Each command is offered while the text allows it.
    const bool writable = !document_.read_only;
    for (QAction* act : {undo, redo, cut, copy}) act->setEnabled(false);
    paste->setEnabled(writable);
    connect(editor_, &QPlainTextEdit::undoAvailable, undo, &QAction::setEnabled);
    connect(editor_, &QPlainTextEdit::redoAvailable, redo, &QAction::setEnabled);
    connect(editor_, &QPlainTextEdit::copyAvailable, copy, &QAction::setEnabled);
    connect(editor_, &QPlainTextEdit::copyAvailable, cut, [cut, writable](bool any) { cut->setEnabled(any && writable); });
}

void notepad_window::build_search_menu() {
    QMenu* search = menuBar()->addMenu(text_of(str::notepad_menu_search));
    add_action(search, str::notepad_find, QKeySequence::Find, [this] { ask_search_text(); });
    add_action(search, str::notepad_find_next, QKeySequence(Qt::Key_F3), [this] { search_again(); });
    search->addSeparator();
    add_action(search, str::notepad_go_to_line, QKeySequence(Qt::CTRL | Qt::Key_G), [this] { ask_line(); });
}

bool notepad_window::save() {
    if (document_.read_only) return false;
    std::optional<std::string> text =
        document_.utf8 ? std::optional<std::string>(editor_->toPlainText().toStdString()) : typed_cp932(editor_->toPlainText(), this);
    if (!text) return false;
    if (document_.text_after_end &&
        !show_message(this, message_kind::confirm, load_string(str::notepad_text_after_end)))
        return false;
    if (!save_text_document(document_.path, *text, hold_, document_.utf8)) {
        show_message_utf8(this, message_kind::error, with_path(str::notepad_save_failed, document_.path));
        return false;
    }
    document_.text_after_end = false;
    editor_->document()->setModified(false);
    return true;
}

bool notepad_window::find_next(const QString& text) {
    if (text.isEmpty()) return false;
    QTextCursor found = editor_->document()->find(text, editor_->textCursor());
    if (found.isNull()) found = editor_->document()->find(text, 0);
    if (found.isNull()) return false;
    editor_->setTextCursor(found);
    return true;
}

void notepad_window::go_to_line(int line) {
    const int last = editor_->document()->blockCount();
    const QTextBlock block = editor_->document()->findBlockByNumber(std::clamp(line, 1, last) - 1);
    editor_->setTextCursor(QTextCursor(block));
    editor_->centerCursor();
}

void notepad_window::ask_search_text() {
    const QString selected = editor_->textCursor().selectedText();
    // A selection across lines holds U+2029 for each break: it cannot be searched for.
    const QString suggestion = selected.isEmpty() || selected.contains(QChar::ParagraphSeparator) ? search_text_ : selected;
    bool ok = false;
    const QString text = QInputDialog::getText(this, text_of(str::notepad_find_title), text_of(str::notepad_find_label),
                                               QLineEdit::Normal, suggestion, &ok);
    if (!ok || text.isEmpty()) return;
    search_text_ = text;
    search_again();
}

void notepad_window::search_again() {
    if (search_text_.isEmpty()) {
        ask_search_text();
        return;
    }
    if (find_next(search_text_)) return;
    const QByteArray utf8 = search_text_.toUtf8();
    show_message_utf8(this, message_kind::notice,
                      display_utf8(load_string(str::notepad_not_found)) + "\n" + utf8.toStdString());
}

void notepad_window::ask_line() {
    bool ok = false;
    const int line = QInputDialog::getInt(this, text_of(str::notepad_go_to_title), text_of(str::notepad_line_label),
                                          editor_->textCursor().blockNumber() + 1, 1,
                                          editor_->document()->blockCount(), 1, &ok);
    if (ok) go_to_line(line);
}

void notepad_window::show_position() {
    const QTextCursor cursor = editor_->textCursor();
    // Columns count characters: one beyond the 16-bit range takes two units of a QString.
    const auto column = QStringView(cursor.block().text()).left(cursor.positionInBlock()).toUcs4().size() + 1;
    position_->setText(qs(string_printf(load_string(str::notepad_position).c_str(), cursor.blockNumber() + 1,
                                        static_cast<int>(column))));
}

bool notepad_window::eventFilter(QObject* watched, QEvent* event) {
    if (watched == editor_ && event->type() == QEvent::InputMethod && editor_->isReadOnly()) return true;
    if (watched == editor_ && event->type() == QEvent::KeyPress && can_send()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::ControlModifier) {
            send();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool notepad_window::can_send() const { return sender_ && !document_.draft_directory.empty() && !document_.read_only; }

bool notepad_window::send() {
    if (!can_send()) return false;
    if (editor_->document()->isModified() && !save()) return false;
    // The draft is moved into the outbox, which a draft still in use prevents.
    hold_.release();
    if (!sender_(document_.draft_directory)) {
        hold_.hold(document_.path);
        show_message(this, message_kind::error, load_string(str::system_error));
        return false;
    }
    close();
    return true;
}

bool notepad_window::may_close() {
    if (!editor_->document()->isModified()) return true;
    switch (ask_about_unsaved_changes(this, qs(document_title(document_.path, false)))) {
    case unsaved_answer::save:
        return save();
    case unsaved_answer::discard:
        return true;
    case unsaved_answer::cancel:
        break;
    }
    return false;
}

void notepad_window::closeEvent(QCloseEvent* event) {
    if (!may_close()) {
        event->ignore();
        return;
    }
    // Closed, the file is no longer in use, even while the object lives on.
    hold_.release();
    event->accept();
}

}  // namespace qm
