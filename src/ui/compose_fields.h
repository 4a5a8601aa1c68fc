#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"
#include "store/compose.h"

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace qm {

// The fields the new-mail, reply and forward dialogs share. Each keeps its
// limit in CP932 bytes: a recipient of 127, a subject of 255.
inline constexpr std::size_t recipient_field_limit = recipient_limit - 1;
inline constexpr std::size_t subject_field_limit = subject_limit - 1;

// The names of the account's templates and signatures (account_root ends
// with "/"), in the order of their lists.
std::vector<std::string> template_names(std::string_view account_root);
std::vector<std::string> signature_names(std::string_view account_root);

// A choice of one of `names`, "なし" first for none; disabled when there are
// no names to choose.
QComboBox* name_choice(QWidget* parent, const std::vector<std::string>& names);
// The name chosen (CP932), empty for "なし".
std::string chosen_name(const QComboBox* choice);

// The recipient: a field to type an address into, whose list offers the
// address book's entries and the groups by name.
QComboBox* recipient_choice(QWidget* parent, std::string_view initial);
// The label "宛先" of a recipient field; the field and the line it is typed
// into take its words as their accessible name.
QLabel* recipient_label(QWidget* parent, QComboBox* field);
// The recipient as typed (CP932, without blanks around it) when it is a
// group, an address-book entry or a valid address. Otherwise nullopt, the
// refusal told ("無効なメールアドレスです." through `report`) and the focus on
// the field with its text selected.
std::optional<std::string> taken_recipient(QComboBox* field, reporter& report);

// A one-line subject field holding `initial` (cut to the limit); its text
// is taken with taken_text (entry_dialog.h).
QLineEdit* subject_field(QWidget* parent, std::string_view initial);

}  // namespace qm
