#pragma once

#include <QDialog>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"
#include "store/address_rows.h"

class QAction;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace qm {

// "記載メールアドレス一覧": the addresses of a mail's header, one row each
// ("メールヘッダ": the kind and field, "対象": the address as the header
// writes it), in header order. "登録" registers the selected address in the
// address book. On a draft "追加", "編集" and "削除" change the draft's
// header as well; on received and sent mail they are disabled. The pop-up
// menu, the buttons and the keys give the same commands: Enter (or a double
// click) edits, Shift+Enter registers, Delete deletes. Every change is
// written at once, and the list is then read again from the file.
class dialog_address : public QDialog {
    Q_OBJECT
public:
    // `message_dir`: the message directory (CP932, ending with "/");
    // `draft`: whether its header may be changed.
    dialog_address(QWidget* parent, std::string_view message_dir, bool draft, reporter& report);

    QTreeWidget* address_list() const { return list_; }
    QMenu* popup_menu() const { return popup_; }
    QPushButton* add_button() const { return add_button_; }
    QPushButton* edit_button() const { return edit_button_; }
    QPushButton* delete_button() const { return delete_button_; }
    QPushButton* register_button() const { return register_button_; }
    // Whether the header file was changed.
    bool changed() const { return changed_; }
    // Whether the header could be read when the list was last filled.
    bool readable() const { return readable_; }

    // The commands of the pop-up menu and the buttons.
    void add_entry();
    void edit_entry();
    void delete_entry();
    void register_entry();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reload(int fallback_row);
    void select_address(int field, const std::string& recipient);
    const address_row* selected() const;
    int selected_row() const;
    void follow_selection();

    std::string header_path_;
    bool draft_;
    reporter& report_;
    std::vector<address_row> rows_;  // the list's rows, as last read
    bool readable_ = false;
    bool changed_ = false;
    QTreeWidget* list_;
    QMenu* popup_;
    QAction* add_action_;
    QAction* edit_action_;
    QAction* delete_action_;
    QAction* register_action_;
    QPushButton* add_button_;
    QPushButton* edit_button_;
    QPushButton* delete_button_;
    QPushButton* register_button_;
};

// Command 205 of the main window: the address list of the mail in
// `message_dir` (CP932, ending with "/"); with `draft` its header may be
// changed. A header that cannot be read is reported and no list is shown.
// True when the mail's header was changed (the mail list is then refilled).
bool run_address_list_dialog(QWidget* parent, std::string_view message_dir, bool draft, reporter& report);

}  // namespace qm
