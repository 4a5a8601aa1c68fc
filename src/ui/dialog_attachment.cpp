#include "ui/dialog_attachment.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/find_nocase.h"
#include "config/option_checks.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "store/message_opening.h"
#include "ui/dialog_attachment_edit.h"
#include "ui/qt_text.h"
#include "ui/report_list.h"

namespace qm {

namespace {

// The places in Settings::keys of the two letters the list answers to.
constexpr std::size_t mail_menu_letter = 1;  // "open menu mail": the pop-up menu
constexpr std::size_t new_mail_letter = 3;   // "make mail": attach a file

// Parts below this number are the header and the body, which stay.
constexpr int first_removable_part = 2;

enum column { column_type, column_name, column_size };

QString text_of(int id) { return qs(load_string(id)); }

char letter_at(const Settings& settings, std::size_t index) {
    return index < settings.keys.size() ? settings.keys[index] : '\0';
}

bool same_parts(const std::vector<part_row>& a, const std::vector<part_row>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const part_row& x, const part_row& y) {
        return x.number == y.number && x.file_name == y.file_name && x.size == y.size && x.media_type == y.media_type;
    });
}

// The last component of a CP932 path: "/" is never the second byte of a
// double-byte character.
std::string last_component(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Where the next file chooser opens: where the last one chose a file, at
// first the home directory.
QString& chooser_directory() {
    static QString directory;
    if (directory.isEmpty()) directory = QDir::homePath();
    return directory;
}

}  // namespace

dialog_attachment::dialog_attachment(QWidget* parent, std::string_view message_dir, bool draft,
                                     const Settings& settings, reporter& report)
    : QDialog(parent),
      message_dir_(message_dir),
      draft_(draft),
      menu_letter_(letter_at(settings, mail_menu_letter)),
      add_letter_(letter_at(settings, new_mail_letter)),
      report_(report),
      list_(new QTreeWidget(this)),
      popup_(new QMenu(this)),
      add_button_(list_command_button(this, str::attachment_add)),
      rename_button_(list_command_button(this, str::attachment_rename)),
      delete_button_(list_command_button(this, str::attachment_delete)),
      restore_button_(list_command_button(this, str::attachment_restore)) {
    setWindowTitle(text_of(str::attachment_title));

    make_report_list(list_,
                     {text_of(str::attachment_column_type), text_of(str::attachment_column_name),
                      text_of(str::attachment_column_size)},
                     windowTitle());
    list_->headerItem()->setTextAlignment(column_size, Qt::AlignRight | Qt::AlignVCenter);
    // The kind and the size keep the room their usual texts need; the name
    // takes the rest.
    const QFontMetrics metrics = list_->fontMetrics();
    const int margin = metrics.averageCharWidth() * 3;
    const int type_width = metrics.horizontalAdvance(QStringLiteral("application/octet-stream")) + margin;
    const int size_width = metrics.horizontalAdvance(QStringLiteral("99999999")) + margin;
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(column_name, QHeaderView::Stretch);
    list_->setColumnWidth(column_type, type_width);
    list_->setColumnWidth(column_size, size_width);
    list_->setMinimumSize(type_width + size_width + metrics.averageCharWidth() * 30, metrics.height() * 12);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The key letters act in かな mode too.
    list_->setAttribute(Qt::WA_InputMethodEnabled, false);
    list_->installEventFilter(this);

    add_action_ = popup_->addAction(text_of(str::attachment_add), this, &dialog_attachment::add_file);
    rename_action_ = popup_->addAction(text_of(str::attachment_rename), this, &dialog_attachment::rename_entry);
    delete_action_ = popup_->addAction(text_of(str::attachment_delete), this, &dialog_attachment::delete_entry);
    restore_action_ = popup_->addAction(text_of(str::attachment_restore), this, &dialog_attachment::restore_entry);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Vertical, this);
    auto* commands = new QVBoxLayout;
    for (QPushButton* button : {add_button_, rename_button_, delete_button_, restore_button_})
        commands->addWidget(button);
    commands->addStretch();
    commands->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(commands);

    connect(add_button_, &QPushButton::clicked, this, &dialog_attachment::add_file);
    connect(rename_button_, &QPushButton::clicked, this, &dialog_attachment::rename_entry);
    connect(delete_button_, &QPushButton::clicked, this, &dialog_attachment::delete_entry);
    connect(restore_button_, &QPushButton::clicked, this, &dialog_attachment::restore_entry);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &dialog_attachment::restore_entry);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &dialog_attachment::follow_selection);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        follow_selection();
        popup_->popup(list_->viewport()->mapToGlobal(at));
    });

    reload(-1, 0);
    changed_ = false;
    list_->setFocus();
}

void dialog_attachment::add_file() {
    if (!draft_) return;
    const std::optional<std::string> path = chosen_file(str::attachment_choose_title, false, {});
    if (!path) return;
    // The part carries the file's name: it must be one the recipient can
    // save, and not one that looks like a program.
    if (const int message = check_attachment_name(last_component(*path), read_dangerous_extensions())) {
        report_.notice(message);
        return;
    }
    if (file_size(*path) == 0) {
        report_.notice(str::attachment_empty_file);
        return;
    }
    const int part = add_attachment_part(message_dir_, *path);
    if (part < 0) report_.error(str::file_error);
    reload(part, selected_row());
}

void dialog_attachment::rename_entry() {
    const std::optional<part_row> part = selected_part();
    if (!draft_ || !part) return;
    const int row = selected_row();
    dialog_attachment_edit edit(this, part->file_name, read_dangerous_extensions(), report_);
    if (edit.exec() != QDialog::Accepted) return;
    if (!rename_part(message_dir_, part->number, edit.text())) report_.error(str::file_error);
    reload(part->number, row);
}

void dialog_attachment::delete_entry() {
    const std::optional<part_row> part = selected_part();
    if (!draft_ || !part || part->number < first_removable_part || !report_.confirm(str::confirm_delete)) return;
    const int row = selected_row();
    // A failure half-way leaves the parts as far as they got: the list
    // shows what is on disk either way.
    if (!remove_attachment_part(message_dir_, part->number)) report_.error(str::file_error);
    reload(-1, row);
}

void dialog_attachment::restore_entry() {
    if (const std::optional<part_row> part = selected_part()) view_or_save(*part);
}

// A text is read in the text viewer; anything else is written, decoded, to
// a file of the user's choosing.
void dialog_attachment::view_or_save(const part_row& part) {
    if (starts_with_nocase(part.media_type, "text/")) {
        view_part(message_dir_, part.number, report_);  // tells of its own failures
        return;
    }
    const std::string offered = safe_attachment_name(part.file_name);
    const std::string extensions = read_dangerous_extensions();
    const bool dangerous = has_dangerous_extension(part.file_name, extensions) ||
                           has_dangerous_extension(offered, extensions);
    if (dangerous && !report_.confirm(str::attachment_restore_warning)) return;
    const std::optional<std::string> target = chosen_file(str::attachment_save_title, true, offered);
    if (!target) return;
    if (!restore_part(message_dir_, part.number, *target)) {
        report_.error(str::file_error);
        return;
    }
    report_.notice(str::attachment_restored);
}

// Qt's own file dialog, so that it looks and answers alike on every
// desktop. The chosen path as CP932; nullopt when the user cancels or
// chose a name CP932 cannot hold (then told so).
std::optional<std::string> dialog_attachment::chosen_file(int title, bool to_save, const std::string& offered_name) {
    QFileDialog chooser(this, text_of(title), chooser_directory());
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(to_save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(to_save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (to_save) chooser.selectFile(qs(offered_name));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = chooser.selectedFiles().front();
    chooser_directory() = QFileInfo(path).absolutePath();
    return typed_cp932(path, this);
}

void dialog_attachment::show_popup_menu() {
    follow_selection();
    QPoint at;  // the list's corner when no part is selected
    if (QTreeWidgetItem* item = list_->currentItem(); item && item->isSelected()) {
        const QRect row = list_->visualItemRect(item);
        at = QPoint(row.left(), row.center().y());
    }
    popup_->popup(list_->viewport()->mapToGlobal(at));
}

bool dialog_attachment::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress && handle_key(*static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool dialog_attachment::handle_key(const QKeyEvent& key) {
    if (key.modifiers() != Qt::NoModifier && key.modifiers() != Qt::KeypadModifier) return false;
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        restore_entry();
        return true;
    case Qt::Key_Delete:
        delete_entry();
        return true;
    default:
        break;
    }
    if (key.key() < Qt::Key_A || key.key() > Qt::Key_Z) return false;
    const char letter = static_cast<char>('A' + (key.key() - Qt::Key_A));
    if (letter == menu_letter_) {
        show_popup_menu();
        return true;
    }
    if (letter == add_letter_) {
        add_file();
        return true;
    }
    return false;
}

// Fills the list from the part files and selects part `select_part`, or
// else the row at `fallback_row` (the last one when the list got shorter).
void dialog_attachment::reload(int select_part, int fallback_row) {
    std::vector<part_row> parts = list_parts(message_dir_);
    if (!same_parts(parts, parts_)) changed_ = true;
    parts_ = std::move(parts);
    list_->clear();
    int select = -1;
    for (const part_row& part : parts_) {
        auto* item = new QTreeWidgetItem(list_, {qs(part.media_type), qs(part.file_name), QString::number(part.size)});
        item->setTextAlignment(column_size, Qt::AlignRight | Qt::AlignVCenter);
        if (part.number == select_part) select = list_->indexOfTopLevelItem(item);
    }
    select_list_row(list_, select, fallback_row);
    follow_selection();
}

int dialog_attachment::selected_row() const { return selected_list_row(list_); }

std::optional<part_row> dialog_attachment::selected_part() const {
    const int row = selected_row();
    if (row < 0 || row >= static_cast<int>(parts_.size())) return std::nullopt;
    return parts_[static_cast<std::size_t>(row)];
}

// Adding needs a draft; renaming and deleting a draft and a selected part
// (deleting one after the body); restoring or viewing only a selected part.
void dialog_attachment::follow_selection() {
    const std::optional<part_row> part = selected_part();
    const bool removable = draft_ && part && part->number >= first_removable_part;
    add_action_->setEnabled(draft_);
    add_button_->setEnabled(draft_);
    rename_action_->setEnabled(draft_ && part);
    rename_button_->setEnabled(draft_ && part);
    delete_action_->setEnabled(removable);
    delete_button_->setEnabled(removable);
    restore_action_->setEnabled(part.has_value());
    restore_button_->setEnabled(part.has_value());
}

bool run_attachment_dialog(QWidget* parent, std::string_view message_dir, bool draft, const Settings& settings,
                           reporter& report) {
    dialog_attachment dialog(parent, message_dir, draft, settings, report);
    dialog.exec();
    return dialog.changed();
}

}  // namespace qm
