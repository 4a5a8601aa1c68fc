#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qm {

// The common ground of the signature and template dialogs: an entry of an
// account's list, a title (at most 127 CP932 bytes) with texts. OK is
// enabled while the title is filled in; it refuses a new or changed title
// that another entry has, and stores the entry with its texts as the list
// keeps them (carriage returns and TABs removed, and one final line feed).
// "削除" (existing entries only) deletes the entry after asking. A refused
// title or a failed write is reported and the dialog stays open; it closes
// once the change is on disk.
class dialog_titled_text : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t title_byte_limit = 127;
    // A text field holds up to this many bytes, line ends counted as CR LF.
    static constexpr std::size_t text_byte_limit = 65535;

    QLineEdit* title_field() const { return title_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* delete_button() const { return delete_; }  // null for a new entry
    // Whether the list was changed (written or deleted).
    bool changed() const { return changed_; }

    void accept() override;
    void delete_entry();

protected:
    // `name` is empty for a new entry.
    dialog_titled_text(QWidget* parent, reporter& report, std::string_view account_root, std::string_view name,
                       int title_id);

    // A text field holding `initial` (as the core hands it out for a field).
    QPlainTextEdit* add_text_field(std::string_view initial);
    // Lays the dialog out: the title, then `texts`, then the buttons. The
    // derived dialog calls it once its fields are made.
    void finish_layout(QLayout* texts);

    const std::string& account_root() const { return account_root_; }
    const std::string& stored_name() const { return stored_name_; }
    bool is_new() const { return stored_name_.empty(); }

    virtual bool entry_exists(std::string_view name) const = 0;
    virtual bool entry_name(int index, std::string& name) const = 0;
    // Stores the entry under `title` with the texts of the fields (in the
    // order they were added): a new one, or in place of the stored one.
    virtual bool store_entry(std::string_view title, const std::vector<std::string>& texts) = 0;
    virtual bool delete_entry_at(int index) = 0;

private:
    int stored_position() const;
    void close_changed();

    reporter& report_;
    std::string account_root_;
    std::string stored_name_;
    QLineEdit* title_;
    std::vector<QPlainTextEdit*> texts_;
    QPushButton* ok_ = nullptr;
    QPushButton* delete_ = nullptr;
    bool changed_ = false;
};

}  // namespace qm
