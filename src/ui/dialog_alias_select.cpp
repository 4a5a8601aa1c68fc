#include "ui/dialog_alias_select.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "config/address_book.h"
#include "platform/string_table.h"
#include "ui/entry_dialog.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

dialog_alias_select::dialog_alias_select(QWidget* parent) : QDialog(parent), list_(new QListWidget(this)) {
    setWindowTitle(qs(load_string(str::alias_select_title)));
    for (auto& entry : read_address_book()) {
        // A name given twice in the file is one entry.
        if (std::find(names_.begin(), names_.end(), entry.first) != names_.end()) continue;
        list_->addItem(qs(entry.first));
        names_.push_back(std::move(entry.first));
    }
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setMinimumSize(list_->fontMetrics().averageCharWidth() * 40, list_->fontMetrics().height() * 14);

    QDialogButtonBox* buttons = ok_cancel_buttons(this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(field_label(this, str::alias_select_label, list_));
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { ok_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    ok_->setEnabled(false);
    if (list_->count() > 0) list_->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    list_->setFocus();
}

void dialog_alias_select::accept() {
    selected_.clear();
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->isSelected()) selected_.push_back(names_[static_cast<std::size_t>(row)]);
    }
    if (selected_.empty()) return;
    QDialog::accept();
}

}  // namespace qm
