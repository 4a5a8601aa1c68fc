#pragma once

#include <QDialog>
#include <array>

#include "config/settings.h"
#include "platform/reporter.h"

class QCheckBox;
class QComboBox;
class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qm {

class option_list_box;

// "表示オプション": the view group of the settings. The thread column, the
// tree and preview panes, the header names kept when a mail is opened, the
// font of the views and their six colours. OK writes the group to
// "quillmere.ini" and reads it back into the settings; when the file cannot
// be written the user is told and the dialog stays open with the entries.
class dialog_option_view : public QDialog {
    Q_OBJECT
public:
    dialog_option_view(QWidget* parent, Settings& settings, reporter& report);

    QCheckBox* thread_check() const { return thread_; }
    QCheckBox* tree_check() const { return tree_; }
    QCheckBox* preview_check() const { return preview_; }
    option_list_box* open_headers() const { return open_headers_; }
    QLineEdit* font_field() const { return font_field_; }
    QPushButton* font_button() const { return font_button_; }
    QComboBox* colour_choice() const { return colour_choice_; }
    QSpinBox* component(int index) const { return components_[static_cast<std::size_t>(index)]; }
    QLabel* sample() const { return sample_; }
    QPushButton* default_colours_button() const { return default_colours_; }
    // The view group as the dialog holds it now (the switches are read at OK).
    const Settings& edited() const { return edited_; }

    // Takes a font the font chooser gave.
    void take_font(const QFont& font);
    void choose_font();
    void reset_colours();

    void accept() override;

private:
    void show_font();
    void show_colour();
    void take_component();
    void show_sample();
    colour& selected_colour();

    Settings& settings_;
    reporter& report_;
    Settings edited_;
    QCheckBox* thread_;
    QCheckBox* tree_;
    QCheckBox* preview_;
    option_list_box* open_headers_;
    QLineEdit* font_field_;
    QPushButton* font_button_;
    QComboBox* colour_choice_;
    std::array<QSpinBox*, 3> components_{};
    QLabel* sample_;
    QPushButton* default_colours_;
};

// The view options over `parent`: 1 when the settings were saved (and
// `settings` holds the new view group), 2 when the user cancelled.
int run_view_options(QWidget* parent, Settings& settings, reporter& report);

}  // namespace qm
