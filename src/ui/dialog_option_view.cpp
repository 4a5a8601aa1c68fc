#include "ui/dialog_option_view.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "config/option_checks.h"
#include "platform/string_table.h"
#include "ui/option_list_box.h"
#include "ui/option_name_dialogs.h"
#include "ui/option_widgets.h"
#include "ui/qt_text.h"
#include "ui/view_style.h"

namespace qm {

namespace {

// The colours in the order of the list "表示色定義", with their labels.
constexpr colour Settings::*colour_members[colour_count] = {
    &Settings::back_ground, &Settings::back_text, &Settings::text_directory,
    &Settings::text_search, &Settings::text_new,  &Settings::text_normal,
};
constexpr int colour_labels[colour_count] = {str::colour_back_ground, str::colour_back_text,
                                             str::colour_text_directory, str::colour_text_search,
                                             str::colour_text_new, str::colour_text_normal};
constexpr int component_labels[3] = {str::colour_red, str::colour_green, str::colour_blue};
constexpr int max_component = 255;

QCheckBox* switch_box(QWidget* parent, int label, bool on) {
    auto* box = new QCheckBox(option_text(label), parent);
    box->setChecked(on);
    return box;
}

int component_of(colour value, int index) { return static_cast<int>(value >> (8 * index) & 0xff); }

colour with_component(colour value, int index, int component) {
    const int shift = 8 * index;
    return (value & ~(colour{0xff} << shift)) | static_cast<colour>(component & 0xff) << shift;
}

QString css_colour(colour value) { return qcolor(value).name(QColor::HexRgb); }

}  // namespace

dialog_option_view::dialog_option_view(QWidget* parent, Settings& settings, reporter& report)
    : QDialog(parent),
      settings_(settings),
      report_(report),
      edited_(settings),
      thread_(switch_box(this, str::option_list_thread, settings.list_thread)),
      tree_(switch_box(this, str::option_view_tree, settings.view_tree)),
      preview_(switch_box(this, str::option_view_preview, settings.view_preview)),
      open_headers_(new option_list_box(this, str::open_header_title,
                                        split_open_header_list(read_open_header_list(default_open_header)),
                                        entry_asked_with<dialog_openheader>(this, report, add_open_header))),
      font_field_(new QLineEdit(this)),
      font_button_(side_button(this, str::option_browse)),
      colour_choice_(new QComboBox(this)),
      sample_(new QLabel(option_text(str::colour_sample), this)),
      default_colours_(side_button(this, str::option_default)) {
    setWindowTitle(option_text(str::option_view_title));

    auto* switches = new QVBoxLayout;
    for (QCheckBox* box : {thread_, tree_, preview_}) switches->addWidget(box);

    auto* font_box = new QGroupBox(option_text(str::option_font), this);
    auto* font_row = new QHBoxLayout(font_box);
    font_field_->setReadOnly(true);
    font_field_->setAccessibleName(font_box->title());
    font_field_->setMinimumWidth(font_field_->fontMetrics().averageCharWidth() * 30);
    font_row->addWidget(font_field_, 1);
    font_row->addWidget(font_button_);

    auto* colour_box = new QGroupBox(option_text(str::option_colours), this);
    colour_choice_->setAccessibleName(colour_box->title());
    for (int label : colour_labels) colour_choice_->addItem(option_text(label));
    auto* components = new QHBoxLayout;
    for (int index = 0; index < 3; ++index) {
        auto* field = new QSpinBox(colour_box);
        field->setRange(0, max_component);
        auto* label = new QLabel(option_text(component_labels[index]), colour_box);
        label->setBuddy(field);
        field->setAccessibleName(label->text());
        components->addWidget(label);
        components->addWidget(field);
        components_[static_cast<std::size_t>(index)] = field;
        connect(field, &QSpinBox::valueChanged, this, &dialog_option_view::take_component);
    }
    components->addStretch();
    sample_->setAlignment(Qt::AlignCenter);
    sample_->setMinimumHeight(sample_->fontMetrics().height() * 2);
    sample_->setFrameShape(QFrame::StyledPanel);
    auto* colour_layout = new QGridLayout(colour_box);
    colour_layout->addWidget(colour_choice_, 0, 0, 1, 2);
    colour_layout->addLayout(components, 1, 0, 1, 2);
    colour_layout->addWidget(sample_, 2, 0);
    colour_layout->addWidget(default_colours_, 2, 1, Qt::AlignBottom);
    colour_layout->setColumnStretch(0, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(switches);
    left->addWidget(open_headers_, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(font_box);
    right->addWidget(colour_box);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(option_buttons(this, view_options_help));

    connect(font_button_, &QPushButton::clicked, this, &dialog_option_view::choose_font);
    connect(colour_choice_, &QComboBox::currentIndexChanged, this, &dialog_option_view::show_colour);
    connect(default_colours_, &QPushButton::clicked, this, &dialog_option_view::reset_colours);

    show_font();
    show_colour();
    thread_->setFocus();
}

// The field shows "face/points/style", as the settings keep them.
void dialog_option_view::show_font() {
    font_field_->setText(qs(edited_.font_name) + '/' + QString::number(edited_.font_point) + '/' +
                         qs(edited_.font_style));
    show_sample();
}

void dialog_option_view::choose_font() {
    // A face the system lacks starts the chooser at the one the views use.
    QFont initial = view_font(edited_);
    if (edited_.font_point > 0) initial.setPointSize(edited_.font_point);
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, initial, this);
    if (chosen) take_font(font);
}

// The settings keep the height in pixels, negative as a character height,
// beside the points: the views draw with the pixels, so the font looks on
// this screen as chosen.
void dialog_option_view::take_font(const QFont& font) {
    const std::optional<std::string> face = typed_cp932(font.family(), this);
    if (!face) return;
    QString style_name = font.styleName();
    if (style_name.isEmpty()) style_name = QFontDatabase::styleString(font);
    const std::optional<std::string> style = typed_cp932(style_name, this);
    if (!style) return;
    const int dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0) points = font.pixelSize() * 72.0 / dpi;
    edited_.font_name = *face;
    edited_.font_style = *style;
    edited_.font_point = static_cast<int>(std::lround(points));
    edited_.font_size = -static_cast<int>(std::lround(points * dpi / 72.0));
    edited_.font_weight = font.weight();
    edited_.font_italic = font.italic();
    show_font();
}

colour& dialog_option_view::selected_colour() {
    const int index = std::clamp(colour_choice_->currentIndex(), 0, colour_count - 1);
    return edited_.*colour_members[index];
}

// Showing a colour in the fields must not write it back through them.
void dialog_option_view::show_colour() {
    const colour value = selected_colour();
    for (int index = 0; index < 3; ++index) {
        QSpinBox* field = components_[static_cast<std::size_t>(index)];
        const QSignalBlocker quiet(field);
        field->setValue(component_of(value, index));
    }
    show_sample();
}

void dialog_option_view::take_component() {
    colour& value = selected_colour();
    for (int index = 0; index < 3; ++index)
        value = with_component(value, index, components_[static_cast<std::size_t>(index)]->value());
    show_sample();
}

// The selected text colour on the background; the background itself is
// shown under the ordinary text.
void dialog_option_view::show_sample() {
    const bool background = colour_choice_->currentIndex() <= 0;
    const colour text = background ? edited_.text_normal : selected_colour();
    sample_->setStyleSheet(QStringLiteral("QLabel { color: %1; background-color: %2; }")
                               .arg(css_colour(text), css_colour(edited_.back_ground)));
    sample_->setFont(view_font(edited_));
}

void dialog_option_view::reset_colours() {
    set_default_colours(edited_);
    show_colour();
}

void dialog_option_view::accept() {
    edited_.list_thread = thread_->isChecked();
    edited_.view_tree = tree_->isChecked();
    edited_.view_preview = preview_->isChecked();
    if (!save_view_settings(edited_, join_open_header_list(open_headers_->entries()))) {
        report_.error(str::file_error);
        return;
    }
    load_view_settings(settings_);
    QDialog::accept();
}

int run_view_options(QWidget* parent, Settings& settings, reporter& report) {
    dialog_option_view dialog(parent, settings, report);
    return run_option_dialog(dialog);
}

}  // namespace qm
