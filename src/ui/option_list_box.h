#pragma once

#include <QGroupBox>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace qm {

// A titled list of texts (CP932) with "追加" and "削除" beside it, as the
// option dialogs edit their header names and extensions. The list and
// "削除" are disabled while the list is empty; otherwise an entry is always
// selected: the first one at the start, an added one, or after a delete the
// one now at its place (the last one when the deleted one was last).
class option_list_box : public QGroupBox {
    Q_OBJECT
public:
    // Asks the user for an entry and adds it to `entries`: the index it went
    // to, or nullopt when nothing was added.
    using adder = std::function<std::optional<std::size_t>(std::vector<std::string>& entries)>;

    option_list_box(QWidget* parent, int title_id, std::vector<std::string> entries, adder add);

    const std::vector<std::string>& entries() const { return entries_; }
    QListWidget* list() const { return list_; }
    QPushButton* add_button() const { return add_button_; }
    QPushButton* delete_button() const { return delete_button_; }

    void add_entry();
    void delete_entry();

private:
    void show_entries(std::optional<std::size_t> select);

    std::vector<std::string> entries_;
    adder add_;
    QListWidget* list_;
    QPushButton* add_button_;
    QPushButton* delete_button_;
};

}  // namespace qm
