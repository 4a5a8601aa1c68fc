#include "ui/dialog_address.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "platform/string_table.h"
#include "store/compose.h"
#include "ui/dialog_address_edit.h"
#include "ui/dialog_address_regist.h"
#include "ui/qt_text.h"
#include "ui/report_list.h"

namespace qm {

namespace {

QString text_of(int id) { return qs(load_string(id)); }

}  // namespace

dialog_address::dialog_address(QWidget* parent, std::string_view message_dir, bool draft, reporter& report)
    : QDialog(parent),
      header_path_(std::string(message_dir) + "0"),
      draft_(draft),
      report_(report),
      list_(new QTreeWidget(this)),
      popup_(new QMenu(this)),
      add_button_(list_command_button(this, str::address_list_add)),
      edit_button_(list_command_button(this, str::address_list_edit)),
      delete_button_(list_command_button(this, str::address_list_delete)),
      register_button_(list_command_button(this, str::address_list_register)) {
    setWindowTitle(text_of(str::address_list_title));

    make_report_list(list_, {text_of(str::address_list_column_header), text_of(str::address_list_column_target)},
                     windowTitle());
    const int char_width = list_->fontMetrics().averageCharWidth();
    const QFontMetrics kind_metrics(kind_label_font(list_->font()));
    list_->setColumnWidth(0, kind_metrics.horizontalAdvance(qs(address_kind_label(2))) + char_width * 3);
    list_->setMinimumSize(char_width * 72, list_->fontMetrics().height() * 14);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->installEventFilter(this);

    add_action_ = popup_->addAction(text_of(str::address_list_add), this, &dialog_address::add_entry);
    edit_action_ = popup_->addAction(text_of(str::address_list_edit), this, &dialog_address::edit_entry);
    delete_action_ = popup_->addAction(text_of(str::address_list_delete), this, &dialog_address::delete_entry);
    popup_->addSeparator();
    register_action_ = popup_->addAction(text_of(str::address_list_register), this, &dialog_address::register_entry);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Vertical, this);
    auto* commands = new QVBoxLayout;
    for (QPushButton* button : {add_button_, edit_button_, delete_button_}) commands->addWidget(button);
    commands->addSpacing(char_width * 2);
    commands->addWidget(register_button_);
    commands->addStretch();
    commands->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(commands);

    connect(add_button_, &QPushButton::clicked, this, &dialog_address::add_entry);
    connect(edit_button_, &QPushButton::clicked, this, &dialog_address::edit_entry);
    connect(delete_button_, &QPushButton::clicked, this, &dialog_address::delete_entry);
    connect(register_button_, &QPushButton::clicked, this, &dialog_address::register_entry);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { draft_ ? edit_entry() : register_entry(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &dialog_address::follow_selection);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        follow_selection();
        popup_->popup(list_->viewport()->mapToGlobal(at));
    });

    reload(0);
    list_->setFocus();
}

void dialog_address::add_entry() {
    if (!draft_) return;
    if (static_cast<int>(rows_.size()) >= max_address_rows) {
        report_.notice(str::address_list_too_many);
        return;
    }
    dialog_address_edit edit(this, header_path_, report_);
    if (edit.exec() != QDialog::Accepted) return;
    changed_ = true;
    reload(selected_row());
    select_address(edit.saved_field(), edit.saved_recipient());
}

void dialog_address::edit_entry() {
    const address_row* row = selected();
    if (!draft_ || !row) return;
    const int at = selected_row();
    dialog_address_edit edit(this, header_path_, report_, *row);
    const bool saved = edit.exec() == QDialog::Accepted;
    changed_ = changed_ || saved;
    reload(at);
    if (saved) select_address(edit.saved_field(), edit.saved_recipient());
}

void dialog_address::delete_entry() {
    const address_row* row = selected();
    if (!draft_ || !row || !report_.confirm(str::confirm_delete)) return;
    const int at = selected_row();
    const int refused = remove_address(header_path_, *row);
    if (refused != 0)
        report_.error(refused);
    else
        changed_ = true;
    reload(at);
}

void dialog_address::register_entry() {
    const address_row* row = selected();
    if (!row) return;
    register_address(this, report_, row->address, row->name);
}

bool dialog_address::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && modifiers == Qt::ShiftModifier) {
            register_entry();
            return true;
        }
        if (modifiers == Qt::NoModifier && enter) {
            edit_entry();
            return true;
        }
        if (modifiers == Qt::NoModifier && key->key() == Qt::Key_Delete) {
            delete_entry();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Fills the list from the header file and selects the row at
// `fallback_row` (the last one when the list got shorter).
void dialog_address::reload(int fallback_row) {
    readable_ = read_address_rows(header_path_, rows_);
    list_->clear();
    const QFont kind_font = kind_label_font(list_->font());
    for (const address_row& row : rows_) {
        auto* item = new QTreeWidgetItem(list_, {qs(address_kind_label(row.field)), qs(row.shown)});
        item->setFont(0, kind_font);
    }
    select_list_row(list_, -1, fallback_row);
    follow_selection();
}

// Selects the row of the field that holds the recipient's address (a
// group's first member), where there is one.
void dialog_address::select_address(int field, const std::string& recipient) {
    const std::vector<std::string> addresses = recipient_addresses(recipient);
    if (addresses.empty()) return;
    const std::string& address = addresses.front();
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const address_row& row = rows_[static_cast<std::size_t>(i)];
        if (row.field == field && row.address == address) {
            select_list_row(list_, i);
            return;
        }
    }
}

int dialog_address::selected_row() const { return selected_list_row(list_); }

const address_row* dialog_address::selected() const {
    const int row = selected_row();
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    return &rows_[static_cast<std::size_t>(row)];
}

// Adding needs a draft; editing and deleting a draft and a selected row;
// registering a selected row that holds an address.
void dialog_address::follow_selection() {
    const address_row* row = selected();
    add_action_->setEnabled(draft_);
    add_button_->setEnabled(draft_);
    for (QAction* action : {edit_action_, delete_action_}) action->setEnabled(draft_ && row);
    for (QPushButton* button : {edit_button_, delete_button_}) button->setEnabled(draft_ && row);
    const bool registrable = row && !row->address.empty();
    register_action_->setEnabled(registrable);
    register_button_->setEnabled(registrable);
}

bool run_address_list_dialog(QWidget* parent, std::string_view message_dir, bool draft, reporter& report) {
    dialog_address dialog(parent, message_dir, draft, report);
    if (!dialog.readable()) {
        report.error(str::file_error);
        return false;
    }
    dialog.exec();
    return dialog.changed();
}

}  // namespace qm
