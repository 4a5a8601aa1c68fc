#include "ui/option_widgets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

QString option_text(int id) { return qs(load_string(id)); }

QPushButton* side_button(QWidget* parent, int label) {
    auto* button = new QPushButton(option_text(label), parent);
    button->setAutoDefault(false);
    return button;
}

QDialogButtonBox* option_buttons(QDialog* dialog, help_section section) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QPushButton* help = side_button(dialog, str::option_help);
    buttons->addButton(help, QDialogButtonBox::HelpRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(help, &QPushButton::clicked, dialog, [dialog, section] { show_help(dialog, section); });
    return buttons;
}

int run_option_dialog(QDialog& dialog) { return dialog.exec() == QDialog::Accepted ? 1 : 2; }

}  // namespace qm
