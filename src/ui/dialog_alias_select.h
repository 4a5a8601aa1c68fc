#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace qm {

// "メンバーの選択": every name of the address book in a list in which several
// may be selected; OK (enabled while one is selected) or a double click
// hands the selected names over in the list's order.
class dialog_alias_select : public QDialog {
    Q_OBJECT
public:
    explicit dialog_alias_select(QWidget* parent);

    QListWidget* name_list() const { return list_; }
    QPushButton* ok_button() const { return ok_; }
    // The names chosen (CP932), after the dialog was accepted.
    const std::vector<std::string>& selected_names() const { return selected_; }

    void accept() override;

private:
    std::vector<std::string> names_;  // the list's rows
    std::vector<std::string> selected_;
    QListWidget* list_;
    QPushButton* ok_;
};

}  // namespace qm
