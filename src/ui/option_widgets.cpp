#include "ui/option_widgets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "platform/string_table.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

QString option_text(int id) { return qs(load_string(id)); }

QPushButton* side_button(QWidget* parent, int label) {
    auto* button = new QPushButton(option_text(label), parent);
    button->setAutoDefault(false);
    return button;
}

QDialogButtonBox* option_buttons(QDialog* dialog, help_section section) {
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    QPushButton* help = side_button(dialog, str::option_help);
    buttons->addButton(help, QDialogButtonBox::HelpRole);
    QObject::connect(help, &QPushButton::clicked, dialog, [dialog, section] { show_help(dialog, section); });
    return buttons;
}

int run_option_dialog(QDialog& dialog) { return dialog.exec() == QDialog::Accepted ? 1 : 2; }

}  // namespace qm
