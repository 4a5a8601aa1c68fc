#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "config/option_checks.h"
#include "platform/reporter.h"
#include "platform/string_table.h"
#include "ui/dialog_name.h"
#include "ui/option_list_box.h"

namespace qm {

// The name dialogs of the option dialogs' lists: one field and OK, under
// the list's title. `accept_check` says whether the list takes the text
// (and tells the user why not), so a refused text stays in the dialog to be
// corrected.
template <int title_id>
class option_name_dialog : public dialog_name {
public:
    option_name_dialog(QWidget* parent, check accept_check)
        : dialog_name(parent, load_string(title_id), {}, name_field_limit, false, std::move(accept_check)) {}
};

// "明示メールヘッダ": a header field kept when a mail is opened.
using dialog_openheader = option_name_dialog<str::open_header_title>;
// "拡張子?": a dangerous attachment extension, without its dot.
using dialog_extension = option_name_dialog<str::extension_title>;

// How a list takes a new entry (add_open_header, add_extension).
using list_rule = list_addition (*)(std::vector<std::string>& entries, std::string_view entry);

// The "追加" of a list: asks with `name_dialog` over `parent` and adds the
// entry by `add`; what `add` refuses is told through `report`.
template <class name_dialog>
option_list_box::adder entry_asked_with(QWidget* parent, reporter& report, list_rule add) {
    return [parent, &report, add](std::vector<std::string>& entries) -> std::optional<std::size_t> {
        name_dialog ask(parent, [&](const std::string& entry) {
            std::vector<std::string> trial = entries;
            const int message = add(trial, entry).message;
            if (message != 0) report.notice(message);
            return message == 0;
        });
        if (ask.exec() != QDialog::Accepted) return std::nullopt;
        return add(entries, ask.text()).index;
    };
}

}  // namespace qm
