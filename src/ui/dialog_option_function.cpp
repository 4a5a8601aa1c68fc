#include "ui/dialog_option_function.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "config/option_checks.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "store/accounts.h"
#include "store/mailbox_move.h"
#include "ui/dialog_name.h"
#include "ui/option_list_box.h"
#include "ui/option_name_dialogs.h"
#include "ui/option_widgets.h"
#include "ui/qt_text.h"
#include "ui/wait_cursor.h"

namespace qm {

namespace {

constexpr bool Settings::*switch_members[] = {&Settings::arrange_at_receive, &Settings::arrange_at_send,
                                              &Settings::arrange_at_terminate, &Settings::tell_remain,
                                              &Settings::clear_trash};
constexpr int switch_labels[] = {str::option_arrange_at_receive, str::option_arrange_at_send,
                                 str::option_arrange_at_terminate, str::option_tell_remain,
                                 str::option_clear_trash};

// The mailbox, viewer and editor are each at most this many bytes.
constexpr std::size_t path_field_limit = path_setting_capacity - 1;

QLineEdit* path_field(QWidget* parent, std::string_view value, int name) {
    auto* field = new QLineEdit(qs(value), parent);
    field->setAccessibleName(option_text(name));
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 44);
    QObject::connect(field, &QLineEdit::textEdited, field, [field] { keep_within_bytes(field, path_field_limit); });
    return field;
}

QLabel* label_for(QWidget* parent, int text, QWidget* field) {
    auto* label = new QLabel(option_text(text), parent);
    label->setBuddy(field);
    return label;
}

// A letter switched off (0) shows as a blank, which the check refuses
// until a letter takes its place.
QString shown_letters(std::string letters) {
    std::replace(letters.begin(), letters.end(), '\0', ' ');
    return qs(letters);
}

// A refusal is a notice: the user picks another folder. A failure is an error.
message_kind kind_of(const mailbox_move_result& result) {
    return result.status == mailbox_move_status::failed || result.status == mailbox_move_status::moved_old_left
               ? message_kind::error
               : message_kind::notice;
}

}  // namespace

dialog_option_function::dialog_option_function(QWidget* parent, Settings& settings, reporter& report)
    : QDialog(parent),
      settings_(settings),
      report_(report),
      interval_(new QSpinBox(this)),
      mailbox_(path_field(this, settings.mailbox, str::option_mailbox)),
      viewer_(path_field(this, settings.text_viewer, str::option_text_viewer)),
      editor_(path_field(this, settings.text_editor, str::option_text_editor)),
      extensions_(new option_list_box(this, str::option_dangerous_extensions,
                                      split_extension_list(read_dangerous_extensions()),
                                      entry_asked_with<dialog_extension>(this, report, add_extension))),
      keys_(new QLineEdit(shown_letters(settings.keys), this)),
      mailbox_button_(side_button(this, str::option_browse)),
      viewer_button_(side_button(this, str::option_browse)),
      editor_button_(side_button(this, str::option_browse)),
      default_keys_(side_button(this, str::option_default)) {
    setWindowTitle(option_text(str::option_function_title));

    auto* switches = new QVBoxLayout;
    for (std::size_t index = 0; index < switches_.size(); ++index) {
        switches_[index] = new QCheckBox(option_text(switch_labels[index]), this);
        switches_[index]->setChecked(settings.*switch_members[index]);
        switches->addWidget(switches_[index]);
    }

    interval_->setRange(0, max_check_interval);
    interval_->setValue(settings.check_interval);
    interval_->setAccessibleName(option_text(str::option_check_interval));
    auto* interval_row = new QHBoxLayout;
    interval_row->addWidget(label_for(this, str::option_check_interval, interval_));
    interval_row->addWidget(interval_);
    interval_row->addWidget(new QLabel(option_text(str::option_interval_unit), this));
    interval_row->addStretch();

    auto* paths = new QGridLayout;
    int row = 0;
    for (auto [label, field, button] : {std::tuple{str::option_mailbox, mailbox_, mailbox_button_},
                                        std::tuple{str::option_text_viewer, viewer_, viewer_button_},
                                        std::tuple{str::option_text_editor, editor_, editor_button_}}) {
        paths->addWidget(label_for(this, label, field), row, 0);
        paths->addWidget(field, row, 1);
        paths->addWidget(button, row, 2);
        ++row;
    }
    paths->setColumnStretch(1, 1);

    // The letters are typed as capitals whatever the input method is doing.
    keys_->setMaxLength(key_letter_count);
    keys_->setAttribute(Qt::WA_InputMethodEnabled, false);
    keys_->setAccessibleName(option_text(str::option_key_letters));
    keys_->setToolTip(option_text(str::option_key_order));
    keys_->setMinimumWidth(keys_->fontMetrics().horizontalAdvance(QStringLiteral("W")) * (key_letter_count + 2));
    auto* key_row = new QHBoxLayout;
    key_row->addWidget(label_for(this, str::option_key_letters, keys_));
    key_row->addWidget(keys_, 1);
    key_row->addWidget(default_keys_);

    auto* left = new QVBoxLayout;
    left->addLayout(switches);
    left->addLayout(interval_row);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(extensions_, 1);
    right->addLayout(key_row);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(paths);
    layout->addWidget(option_buttons(this, function_options_help));

    connect(mailbox_button_, &QPushButton::clicked, this, &dialog_option_function::choose_mailbox_folder);
    connect(viewer_button_, &QPushButton::clicked, this, [this] { choose_program(viewer_); });
    connect(editor_button_, &QPushButton::clicked, this, [this] { choose_program(editor_); });
    connect(default_keys_, &QPushButton::clicked, this,
            [this] { keys_->setText(QString::fromLatin1(default_key_letters.data(), default_key_letters.size())); });

    switches_[0]->setFocus();
}

void dialog_option_function::choose_mailbox_folder() {
    QString start = mailbox_->text();
    while (start.size() > 1 && start.endsWith('/')) start.chop(1);
    const QString chosen =
        QFileDialog::getExistingDirectory(this, option_text(str::mailbox_folder_title), start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return;
    mailbox_->setText(chosen.endsWith('/') ? chosen : chosen + '/');
    keep_within_bytes(mailbox_, path_field_limit);
}

// "実行可能ファイル" lists the files that may be run, "全てのファイル" every file.
void dialog_option_function::choose_program(QLineEdit* field) {
    QFileDialog chooser(this, option_text(str::program_title));
    chooser.setFileMode(QFileDialog::ExistingFile);
    const QString executables = option_text(str::program_filter_executable) + QStringLiteral(" (*)");
    chooser.setNameFilters({executables, option_text(str::program_filter_all) + QStringLiteral(" (*)")});
    const QDir::Filters files = QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot;
    chooser.setFilter(files | QDir::Executable);
    connect(&chooser, &QFileDialog::filterSelected, &chooser, [&](const QString& filter) {
        chooser.setFilter(filter == executables ? files | QDir::Executable : files);
    });
    const QFileInfo current(field->text());
    if (current.isAbsolute() && current.dir().exists()) chooser.setDirectory(current.dir());
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    field->setText(chooser.selectedFiles().front());
    keep_within_bytes(field, path_field_limit);
}

// The entries as settings; false, with the user told why, when one cannot
// be taken.
bool dialog_option_function::take_entries(Settings& edited) {
    for (std::size_t index = 0; index < switches_.size(); ++index)
        edited.*switch_members[index] = switches_[index]->isChecked();
    interval_->interpretText();
    edited.check_interval = interval_->value();
    std::optional<std::string> texts[3];
    QLineEdit* fields[3] = {mailbox_, viewer_, editor_};
    for (int index = 0; index < 3; ++index) {
        texts[index] = typed_cp932(fields[index]->text(), this);
        if (!texts[index]) {
            fields[index]->setFocus();
            return false;
        }
    }
    const std::optional<std::string> keys = typed_cp932(keys_->text(), this);
    if (!keys || check_key_letters(*keys) != 0) {
        if (keys) report_.notice(check_key_letters(*keys));
        keys_->setFocus();
        keys_->selectAll();
        return false;
    }
    edited.mailbox = mailbox_root_of(*texts[0]);
    edited.text_viewer = std::move(*texts[1]);
    edited.text_editor = std::move(*texts[2]);
    edited.keys = *keys;
    return true;
}

// Moves the mailbox to the edited one; false, with the user told, when it
// stays where it is.
bool dialog_option_function::moved_to(const Settings& edited) {
    wait_cursor busy;
    const mailbox_move_result result = move_mailbox(settings_.mailbox, edited.mailbox);
    busy.set(false);
    if (result.message() != 0) report_.show(kind_of(result), load_string(result.message()));
    if (!result.use_new_path()) mailbox_->setFocus();
    return result.use_new_path();
}

// The settings are written before the mailbox moves, so that a file that
// cannot be written stops everything before any mail is touched; a move that
// fails then puts the file back as it was.
void dialog_option_function::accept() {
    Settings edited = settings_;
    if (!take_entries(edited)) return;
    const std::string extensions = join_extension_list(extensions_->entries());

    // Without a mailbox in the old place there is nothing to move: the new
    // one is made below, as at a first start.
    bool move = edited.mailbox != settings_.mailbox && directory_exists(settings_.mailbox);
    if (move) {
        const mailbox_move_result check = check_mailbox_move(settings_.mailbox, edited.mailbox);
        if (!check.use_new_path()) {
            report_.show(kind_of(check), load_string(check.message()));
            mailbox_->setFocus();
            return;
        }
        move = check.status != mailbox_move_status::same_directory;
    }

    Settings before;
    load_function_settings(before);
    const std::string extensions_before = read_dangerous_extensions();
    if (!save_function_settings(edited, extensions)) {
        report_.error(str::file_error);
        return;
    }
    if (move && !moved_to(edited)) {
        if (!save_function_settings(before, extensions_before)) report_.error(str::file_error);
        return;
    }
    ensure_mailbox(edited.mailbox, report_);
    load_function_settings(settings_);
    QDialog::accept();
}

int run_function_options(QWidget* parent, Settings& settings, reporter& report) {
    dialog_option_function dialog(parent, settings, report);
    return run_option_dialog(dialog);
}

}  // namespace qm
