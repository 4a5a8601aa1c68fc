#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>

#include "notepad/held_file.h"
#include "notepad/text_document.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace qm {

// quillmere-notepad's window: one text file in the user's font, with the
// menus ファイル (保存, 送信 for a draft, 閉じる), 編集 and 検索 (検索...,
// 次を検索, 行へ移動...). The title names the mail: its subject and 下書き
// or 閲覧.
// The file stays open from the window's start to its close, so that the
// store sees a draft shown here as in use. A read-only file takes no edits
// and says so in the title.
class notepad_window : public QMainWindow {
    Q_OBJECT
public:
    // Hands a draft (its message directory, CP932) on to be sent; false when
    // that could not start.
    using draft_sender = std::function<bool(const std::string& draft_directory)>;

    // With a `sender`, a draft's window offers 送信 (Ctrl+Enter): the text is
    // saved, the window closes (the draft is no longer in use) and the
    // sender takes the draft.
    notepad_window(text_document document, held_file hold, const QFont& font, draft_sender sender = {},
                   QWidget* parent = nullptr);

    // 送信: false, with the window still open, when the text could not be
    // saved or the draft not handed on.
    bool send();

    // Writes the text back (保存). False, with the user told why and the
    // file untouched, for a character without a CP932 form or a failed write.
    bool save();
    // Selects the next place of `text` after the cursor, going round to the
    // top; false when there is none.
    bool find_next(const QString& text);
    // Puts the cursor at the start of a line (1 is the first), within the text.
    void go_to_line(int line);

    QPlainTextEdit* editor() const { return editor_; }
    const text_document& document() const { return document_; }
    bool holds_file() const { return hold_.is_held(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show_text(const QFont& font);
    void show_title();
    void build_status_bar();
    QAction* add_action(QMenu* menu, int label_id, const QKeySequence& keys, std::function<void()> run);
    void build_file_menu();
    void build_edit_menu();
    void build_search_menu();
    void ask_search_text();
    void search_again();
    void ask_line();
    void show_position();
    bool may_close();
    bool can_send() const;

    text_document document_;
    held_file hold_;
    QPlainTextEdit* editor_;
    QLabel* position_;
    QString search_text_;
    draft_sender sender_;
};

}  // namespace qm
