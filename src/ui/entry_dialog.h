#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/reporter.h"

class QDialog;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace qm {

// What the dialogs of the settings lists (address book, groups, signatures,
// templates) share: their fields, their buttons and the refusal of a new
// entry.

// A one-line field holding `initial`, kept within `byte_limit` CP932 bytes;
// `edited` runs after every change the user makes.
QLineEdit* entry_field(QWidget* parent, std::string_view initial, std::size_t byte_limit,
                       std::function<void()> edited);

// A multi-line field holding `initial` (line ends "\r\n" or "\n"), kept
// within `byte_limit` bytes as text_field_limit.h counts them. TAB moves the
// focus on: the stored text holds no TAB.
QPlainTextEdit* entry_text_field(QWidget* parent, std::string_view initial, std::size_t byte_limit);

// A label for `field` from the string table, its "&" key focusing the
// field; the field takes the label's words as its accessible name.
QLabel* field_label(QWidget* parent, int text_id, QWidget* field);

// OK and Cancel wired to the dialog, and "削除" (wired to `delete_entry`)
// when there is an entry to delete; `ok` and `delete_button` are set to the
// buttons (`delete_button` to null without one).
QDialogButtonBox* entry_buttons(QDialog* dialog, std::function<void()> delete_entry, QPushButton*& ok,
                                QPushButton*& delete_button);

// The field's text as CP932; nullopt, with the focus on the field, when it
// holds a character CP932 cannot (the user has been told which).
std::optional<std::string> taken_text(QLineEdit* field);
std::optional<std::string> taken_text(QPlainTextEdit* field);

// Shows a refusal of what a field holds and puts the focus on the field,
// its text selected for typing anew.
void refuse_field(reporter& report, int text_id, QLineEdit* field);

// "削除" of an entry dialog: asks "削除しますか?", runs `remove` and reports
// its failure. True when `still_there` says the entry is gone, also after a
// failure that came after the entry itself was removed.
bool delete_after_asking(reporter& report, const std::function<bool()>& remove,
                         const std::function<bool()>& still_there);

// The entry points' common course: for index -1 a new entry, unless
// `check_new` (the core's check) refuses one; else the entry named at
// `index` by `name_at` (nothing happens for an index without an entry).
// `run` shows the dialog for that name ("" for a new entry) and tells
// whether the list was changed.
bool open_entry_dialog(reporter& report, int index, const std::function<int()>& check_new,
                       const std::function<bool(int, std::string&)>& name_at,
                       const std::function<bool(const std::string&)>& run);

// Runs a dialog made from `args` and tells whether it changed its list.
template <class Dialog, class... Args>
bool changed_by(Args&&... args) {
    Dialog dialog(std::forward<Args>(args)...);
    dialog.exec();
    return dialog.changed();
}

// Tells why no entry may be added (`check` being the string-table id of the
// core's check, or 0): a file that cannot be read as an error, a full list
// as a notice. True when one was refused.
bool refuse_new_entry(reporter& report, int check);

}  // namespace qm
