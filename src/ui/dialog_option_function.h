#pragma once

#include <QDialog>
#include <array>

#include "config/settings.h"
#include "platform/reporter.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qm {

class option_list_box;

// "機能オプション": the function group of the settings. Automatic arranging,
// the reminders at exit, the check interval, the mailbox folder, the text
// viewer and editor, the dangerous attachment extensions and the key
// letters. OK checks the key letters, writes the group to "quillmere.ini"
// and, when the mailbox folder changed, moves the whole mailbox there; the
// settings are then read back. A refusal or a failure is told to the user
// and the dialog stays open with the entries: then the file and the
// mailbox are as they were.
class dialog_option_function : public QDialog {
    Q_OBJECT
public:
    dialog_option_function(QWidget* parent, Settings& settings, reporter& report);

    // In the order of the settings: arrange at receive, at send, at
    // exit, tell of unsent mail, empty the trash.
    QCheckBox* switch_box(int index) const { return switches_[static_cast<std::size_t>(index)]; }
    QSpinBox* interval_field() const { return interval_; }
    QLineEdit* mailbox_field() const { return mailbox_; }
    QLineEdit* viewer_field() const { return viewer_; }
    QLineEdit* editor_field() const { return editor_; }
    option_list_box* extensions() const { return extensions_; }
    QLineEdit* key_field() const { return keys_; }
    QPushButton* mailbox_button() const { return mailbox_button_; }
    QPushButton* viewer_button() const { return viewer_button_; }
    QPushButton* editor_button() const { return editor_button_; }
    QPushButton* default_keys_button() const { return default_keys_; }

    void choose_mailbox_folder();
    void choose_program(QLineEdit* field);

    void accept() override;

private:
    bool take_entries(Settings& edited);
    bool moved_to(const Settings& edited);

    Settings& settings_;
    reporter& report_;
    std::array<QCheckBox*, 5> switches_{};
    QSpinBox* interval_;
    QLineEdit* mailbox_;
    QLineEdit* viewer_;
    QLineEdit* editor_;
    option_list_box* extensions_;
    QLineEdit* keys_;
    QPushButton* mailbox_button_;
    QPushButton* viewer_button_;
    QPushButton* editor_button_;
    QPushButton* default_keys_;
};

// The function options over `parent`: 1 when the settings were saved (and
// `settings` holds the new function group), 2 when the user cancelled.
// When the mailbox moved, settings.mailbox names its new root: the window
// then re-roots the paths it holds into the old one (rerooted_path).
int run_function_options(QWidget* parent, Settings& settings, reporter& report);

}  // namespace qm
