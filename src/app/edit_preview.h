#pragma once

#include <QPlainTextEdit>

namespace qm {

// The preview: the focused mail's header block and text, read-only, wrapped
// at its width. Enter, Esc or Tab hand
// the keyboard back to the mail list.
class edit_preview : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit edit_preview(QWidget* parent = nullptr);

signals:
    void back_to_list();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }
};

}  // namespace qm
