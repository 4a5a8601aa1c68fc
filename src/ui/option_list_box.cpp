#include "ui/option_list_box.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/option_checks.h"
#include "platform/string_table.h"
#include "ui/option_widgets.h"
#include "ui/qt_text.h"

namespace qm {

option_list_box::option_list_box(QWidget* parent, int title_id, std::vector<std::string> entries, adder add)
    : QGroupBox(qs(load_string(title_id)), parent),
      entries_(std::move(entries)),
      add_(std::move(add)),
      list_(new QListWidget(this)),
      add_button_(side_button(this, str::option_add)),
      delete_button_(side_button(this, str::option_delete)) {
    list_->setAccessibleName(title());
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setMinimumWidth(list_->fontMetrics().averageCharWidth() * 20);
    list_->setMinimumHeight(list_->fontMetrics().height() * 6);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add_button_);
    buttons->addWidget(delete_button_);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    connect(add_button_, &QPushButton::clicked, this, &option_list_box::add_entry);
    connect(delete_button_, &QPushButton::clicked, this, &option_list_box::delete_entry);
    show_entries(0);
}

void option_list_box::add_entry() {
    if (const std::optional<std::size_t> added = add_(entries_)) show_entries(added);
}

void option_list_box::delete_entry() {
    const int row = list_->currentRow();
    if (row < 0) return;
    show_entries(remove_list_entry(entries_, static_cast<std::size_t>(row)));
}

void option_list_box::show_entries(std::optional<std::size_t> select) {
    list_->clear();
    for (const std::string& entry : entries_) list_->addItem(qs(entry));
    const bool any = !entries_.empty();
    list_->setEnabled(any);
    delete_button_->setEnabled(any);
    if (any && select) {
        list_->setCurrentRow(static_cast<int>(std::min(*select, entries_.size() - 1)));
        list_->scrollToItem(list_->currentItem());
    }
}

}  // namespace qm
