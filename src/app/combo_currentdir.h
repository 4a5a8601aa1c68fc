#pragma once

#include <QComboBox>

namespace qm {

// The account selector. The arrow and page keys only move through the
// accounts; the one shown is taken when the list closes on it, when Enter
// is pressed, or when the selector loses the focus (the Part's command
// 202), never at every key. Esc goes back to the account taken last. After
// each, the keyboard goes back to the mail list.
class combo_currentdir : public QComboBox {
    Q_OBJECT
public:
    explicit combo_currentdir(QWidget* parent = nullptr);

    // The account taken, shown without telling anybody.
    void show_account(int index);

signals:
    void account_chosen(int index);
    void back_to_list();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hidePopup() override;

private:
    void take_shown();

    int taken_ = -1;
};

}  // namespace qm
