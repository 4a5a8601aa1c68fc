#include "ui/dialog_arrange.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/string_table.h"
#include "ui/dialog_arrange_edit.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"
#include "ui/report_list.h"

namespace qm {

namespace {

QString text_of(int id) { return qs(load_string(id)); }

}  // namespace

dialog_arrange::dialog_arrange(QWidget* parent, std::string_view folder, reporter& report)
    : QDialog(parent),
      folder_(folder),
      report_(report),
      list_(new QTreeWidget(this)),
      popup_(new QMenu(this)),
      add_button_(list_command_button(this, str::arrange_add)),
      edit_button_(list_command_button(this, str::arrange_edit)),
      delete_button_(list_command_button(this, str::arrange_delete)) {
    setWindowTitle(text_of(str::arrange_title));

    make_report_list(list_, {text_of(str::arrange_column_header), text_of(str::arrange_column_keyword)},
                     windowTitle());
    list_->setColumnWidth(0, list_->fontMetrics().averageCharWidth() * 22);
    list_->setMinimumSize(list_->fontMetrics().averageCharWidth() * 56, list_->fontMetrics().height() * 12);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->installEventFilter(this);

    popup_->addAction(text_of(str::arrange_add), this, &dialog_arrange::add_entry);
    edit_action_ = popup_->addAction(text_of(str::arrange_edit), this, &dialog_arrange::edit_entry);
    delete_action_ = popup_->addAction(text_of(str::arrange_delete), this, &dialog_arrange::delete_entry);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Vertical, this);
    auto* commands = new QVBoxLayout;
    commands->addWidget(add_button_);
    commands->addWidget(edit_button_);
    commands->addWidget(delete_button_);
    commands->addStretch();
    commands->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(commands);

    connect(add_button_, &QPushButton::clicked, this, &dialog_arrange::add_entry);
    connect(edit_button_, &QPushButton::clicked, this, &dialog_arrange::edit_entry);
    connect(delete_button_, &QPushButton::clicked, this, &dialog_arrange::delete_entry);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &dialog_arrange::edit_entry);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &dialog_arrange::follow_selection);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        follow_selection();
        popup_->popup(list_->viewport()->mapToGlobal(at));
    });

    reload(std::nullopt, 0);
    list_->setFocus();
}

void dialog_arrange::add_entry() {
    dialog_arrange_edit edit(this, folder_, report_);
    if (edit.exec() != QDialog::Accepted) return;
    reload(rule_text(edit.saved_rule().header, edit.saved_rule().keyword), selected_row());
}

void dialog_arrange::edit_entry() {
    std::optional<arrange_rule> rule = selected_rule();
    if (!rule) return;
    const int row = selected_row();
    dialog_arrange_edit edit(this, folder_, report_, rule);
    const bool saved = edit.exec() == QDialog::Accepted;
    // A failed edit may still have changed the file (the new rule written,
    // the old one not removed): the list shows what is on disk either way.
    reload(saved ? rule_text(edit.saved_rule().header, edit.saved_rule().keyword)
                 : rule_text(rule->header, rule->keyword),
           row);
}

void dialog_arrange::delete_entry() {
    std::optional<arrange_rule> rule = selected_rule();
    if (!rule || !report_.confirm(str::confirm_delete)) return;
    const int row = selected_row();
    if (!delete_rule(folder_, rule->header, rule->keyword)) report_.error(str::file_error);
    reload(std::nullopt, row);
}

bool dialog_arrange::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                edit_entry();
                return true;
            case Qt::Key_Delete:
                delete_entry();
                return true;
            default:
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Fills the list from the folder's "arrange.lst" and selects the rule of
// that text, or else the row at `fallback_row` (the last one when the list
// got shorter).
void dialog_arrange::reload(std::optional<std::string> select_text, int fallback_row) {
    rules_ = list_rules(folder_);
    list_->clear();
    int select = -1;
    for (const arrange_rule& rule : rules_) {
        auto* item = new QTreeWidgetItem(list_, {qs(rule.header), qs(rule.keyword)});
        if (select_text && rule_text(rule.header, rule.keyword) == *select_text)
            select = list_->indexOfTopLevelItem(item);
    }
    select_list_row(list_, select, fallback_row);
    follow_selection();
}

int dialog_arrange::selected_row() const { return selected_list_row(list_); }

std::optional<arrange_rule> dialog_arrange::selected_rule() const {
    const int row = selected_row();
    if (row < 0 || row >= static_cast<int>(rules_.size())) return std::nullopt;
    return rules_[static_cast<std::size_t>(row)];
}

// Edit and delete need a selected rule, in the menu as on the buttons.
void dialog_arrange::follow_selection() {
    const bool selected = selected_row() >= 0;
    for (QAction* action : {edit_action_, delete_action_}) action->setEnabled(selected);
    for (QPushButton* button : {edit_button_, delete_button_}) button->setEnabled(selected);
}

void run_arrange_dialog(QWidget* parent, std::string_view folder) {
    message_box_reporter boxes(parent);
    dialog_arrange dialog(parent, folder, boxes);
    dialog.exec();
}

}  // namespace qm
