#include "notepad/unsaved_question.h"

#include <QMessageBox>
#include <QPushButton>

#include "platform/reporter.h"
#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

unsaved_answer ask_about_unsaved_changes(QWidget* parent, const QString& file_name) {
    QMessageBox box(QMessageBox::Question, qs(message_title(message_kind::confirm)),
                    qs(load_string(str::notepad_confirm_save)) + QLatin1Char('\n') + file_name, QMessageBox::NoButton,
                    parent);
    QPushButton* save = box.addButton(qs(load_string(str::notepad_answer_save)), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(qs(load_string(str::notepad_answer_discard)), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(qs(load_string(str::notepad_answer_cancel)), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return unsaved_answer::save;
    if (box.clickedButton() == discard) return unsaved_answer::discard;
    return unsaved_answer::cancel;
}

}  // namespace qm
