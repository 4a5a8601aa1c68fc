#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "platform/reporter.h"
#include "store/attachments.h"

class QAction;
class QKeyEvent;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace qm {

// "添付ファイル一覧": the parts of one mail besides its text, as a list of
// kind (media type), name and size of the stored part. A draft's list can
// be changed: "追加" attaches a file, "改名" gives a part a new name, "削除"
// removes it after asking. "復元/閲覧" works on any mail: a text part is
// shown in the text viewer, any other part is saved to a file the user
// chooses (after a warning when its name has a dangerous extension).
//
// The commands are in the list's pop-up menu and on the buttons beside it.
// In the list Enter (or a double click) restores or views, Delete deletes,
// the "open menu mail" letter of the key settings opens the pop-up menu and
// the "make mail" letter adds a file. The list is read again from disk after
// every change.
//
// The file choosers are Qt's own file dialogs (never the desktop's), run
// modally over this dialog: a test finds one as the active modal widget and
// drives it as a user would.
class dialog_attachment : public QDialog {
    Q_OBJECT
public:
    // `message_dir`: the message directory (CP932, ending with "/").
    // `draft`: the mail is a draft, so its parts may be added, renamed and
    // removed.
    dialog_attachment(QWidget* parent, std::string_view message_dir, bool draft, const Settings& settings,
                      reporter& report);

    QTreeWidget* part_list() const { return list_; }
    QMenu* popup_menu() const { return popup_; }
    QPushButton* add_button() const { return add_button_; }
    QPushButton* rename_button() const { return rename_button_; }
    QPushButton* delete_button() const { return delete_button_; }
    QPushButton* restore_button() const { return restore_button_; }
    // Whether the mail's parts are other than when the dialog opened.
    bool changed() const { return changed_; }

    // The commands of the pop-up menu, the buttons and the keys.
    void add_file();
    void rename_entry();
    void delete_entry();
    void restore_entry();
    void show_popup_menu();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handle_key(const QKeyEvent& key);
    void reload(int select_part, int fallback_row);
    std::optional<part_row> selected_part() const;
    int selected_row() const;
    void follow_selection();
    void view_or_save(const part_row& part);
    std::optional<std::string> chosen_file(int title, bool to_save, const std::string& offered_name);

    std::string message_dir_;
    bool draft_;
    char menu_letter_;
    char add_letter_;
    reporter& report_;
    std::vector<part_row> parts_;  // the list's rows, as last read
    bool changed_ = false;
    QTreeWidget* list_;
    QMenu* popup_;
    QAction* add_action_;
    QAction* rename_action_;
    QAction* delete_action_;
    QAction* restore_action_;
    QPushButton* add_button_;
    QPushButton* rename_button_;
    QPushButton* delete_button_;
    QPushButton* restore_button_;
};

// Command 206 of the main window: the attachment list of the mail in
// `message_dir` (CP932, ending with "/"), changeable when `draft`. True when
// the mail's parts changed, so that its row's size and attachment mark are
// to be read again.
bool run_attachment_dialog(QWidget* parent, std::string_view message_dir, bool draft, const Settings& settings,
                           reporter& report);

}  // namespace qm
