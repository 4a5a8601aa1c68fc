#include "ui/dialog_group.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "config/address_book.h"
#include "platform/string_table.h"
#include "ui/dialog_alias_select.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// The stored member list: names joined by commas. Empty items (two commas
// in a row in a file edited by hand) are no members.
std::vector<std::string> split_member_list(std::string_view list) {
    std::vector<std::string> members;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        if (!item.empty()) members.emplace_back(item);
        list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    }
    return members;
}

std::string join_member_list(const std::vector<std::string>& members) {
    std::string list;
    for (const std::string& member : members) {
        if (!list.empty()) list += ',';
        list += member;
    }
    return list;
}

QPushButton* list_button(QWidget* parent, int label) {
    auto* button = new QPushButton(qs(load_string(label)), parent);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

dialog_group::dialog_group(QWidget* parent, reporter& report, std::string_view name)
    : QDialog(parent),
      report_(report),
      stored_name_(name),
      members_(is_new() ? std::vector<std::string>() : split_member_list(read_group_members(name))),
      title_(entry_field(this, name, title_byte_limit, [this] { update_buttons(); })),
      list_(new QListWidget(this)),
      add_(list_button(this, str::group_add_members)),
      remove_(list_button(this, str::group_remove_members)) {
    setWindowTitle(qs(load_string(str::group_dialog_title)));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setMinimumSize(list_->fontMetrics().averageCharWidth() * 32, list_->fontMetrics().height() * 10);

    auto* grid = new QGridLayout;
    grid->addWidget(field_label(this, str::entry_title_label, title_), 0, 0);
    grid->addWidget(title_, 0, 1, 1, 2);
    grid->addWidget(field_label(this, str::group_members_label, list_), 1, 0, Qt::AlignTop);
    grid->addWidget(list_, 1, 1, 3, 1);
    grid->addWidget(add_, 1, 2);
    grid->addWidget(remove_, 2, 2);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    QDialogButtonBox* buttons =
        entry_buttons(this, is_new() ? nullptr : std::function<void()>([this] { delete_group_entry(); }), ok_, delete_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(buttons);

    connect(add_, &QPushButton::clicked, this, &dialog_group::add_members);
    connect(remove_, &QPushButton::clicked, this, &dialog_group::remove_members);
    connect(list_, &QListWidget::itemSelectionChanged, this, &dialog_group::update_buttons);
    show_members();
    title_->setFocus();
}

void dialog_group::show_members() {
    list_->clear();
    for (const std::string& member : members_) list_->addItem(qs(member));
    update_buttons();
}

void dialog_group::update_buttons() {
    list_->setEnabled(!members_.empty());
    remove_->setEnabled(!list_->selectedItems().isEmpty());
    ok_->setEnabled(!title_->text().isEmpty() && !members_.empty());
}

// Names the group has already are not added again: a member twice would
// get the mail twice.
void dialog_group::add_members() {
    dialog_alias_select select(this);
    if (select.exec() != QDialog::Accepted) return;
    const std::size_t first_new = members_.size();
    for (const std::string& name : select.selected_names()) {
        if (std::find(members_.begin(), members_.end(), name) == members_.end()) members_.push_back(name);
    }
    show_members();
    for (std::size_t row = first_new; row < members_.size(); ++row)
        list_->item(static_cast<int>(row))->setSelected(true);
    if (first_new < members_.size()) list_->scrollToItem(list_->item(static_cast<int>(members_.size()) - 1));
}

void dialog_group::remove_members() {
    std::vector<std::string> kept;
    for (int row = 0; row < list_->count(); ++row) {
        if (!list_->item(row)->isSelected()) kept.push_back(members_[static_cast<std::size_t>(row)]);
    }
    members_ = std::move(kept);
    show_members();
    (members_.empty() ? static_cast<QWidget*>(add_) : list_)->setFocus();
}

void dialog_group::accept() {
    if (!ok_->isEnabled()) return;  // Enter while OK is disabled
    std::optional<std::string> title = taken_text(title_);
    if (!title) return;
    if (const int refused = check_group_name(*title, is_new() || *title != stored_name_)) {
        refuse_field(report_, refused, title_);
        return;
    }
    // An edited group is written under its title before the old section
    // goes, so a failure keeps it.
    const std::string members = join_member_list(members_);
    const bool written = is_new() ? write_group(*title, members) : update_group(stored_name_, *title, members);
    if (!written) {
        report_.error(str::file_error);
        return;
    }
    changed_ = true;
    QDialog::accept();
}

void dialog_group::delete_group_entry() {
    if (is_new()) return;
    if (!delete_after_asking(
            report_, [this] { return delete_group(stored_name_); }, [this] { return is_group(stored_name_); }))
        return;
    changed_ = true;
    QDialog::accept();
}

bool run_group_dialog(QWidget* parent, int index, reporter& report) {
    return open_entry_dialog(
        report, index, check_new_group, [](int at, std::string& name) { return group_name(at, name); },
        [&](const std::string& name) { return changed_by<dialog_group>(parent, report, name); });
}

}  // namespace qm
