#pragma once

#include <string_view>

#include "platform/reporter.h"
#include "ui/dialog_name.h"

namespace qm {

// "ファイル名?": a new file name for an attachment of a draft, filled with
// its present name. OK takes only a valid file name without a dangerous
// extension (one of `extensions`, the "dangerous extension" setting); a
// refused name is told through `report` and stays in the field to be
// corrected.
class dialog_attachment_edit : public dialog_name {
    Q_OBJECT
public:
    dialog_attachment_edit(QWidget* parent, std::string_view name, std::string_view extensions, reporter& report);
};

}  // namespace qm
