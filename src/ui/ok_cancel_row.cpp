#include "ui/ok_cancel_row.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace qm {

QDialogButtonBox* ok_cancel_buttons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QPushButton* lay_out_with_ok_cancel(QDialog* dialog, QLayout* fields) {
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    return buttons->button(QDialogButtonBox::Ok);
}

QPushButton* lay_out_with_ok_cancel(QDialog* dialog, std::initializer_list<QWidget*> widgets) {
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    auto* layout = new QVBoxLayout(dialog);
    for (QWidget* widget : widgets) layout->addWidget(widget);
    layout->addWidget(buttons);
    return buttons->button(QDialogButtonBox::Ok);
}

}  // namespace qm
