#include "ui/dialog_attachment_edit.h"

#include <string>

#include "config/option_checks.h"
#include "platform/string_table.h"

namespace qm {

dialog_attachment_edit::dialog_attachment_edit(QWidget* parent, std::string_view name, std::string_view extensions,
                                               reporter& report)
    : dialog_name(parent, load_string(str::attachment_edit_title), name, name_field_limit, false,
                  [extensions = std::string(extensions), &report](const std::string& typed) {
                      const int message = check_attachment_name(typed, extensions);
                      if (message != 0) report.notice(message);
                      return message == 0;
                  }) {}

}  // namespace qm
