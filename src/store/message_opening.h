#pragma once

#include <string_view>

#include "platform/reporter.h"
#include "store/attachments.h"

namespace qm {

// Mail is read outside the program: opening a message writes a read-only
// copy of what the user should see into the temporary directory
// ("qlm_0000.TXT" ...) and starts the text viewer of the settings on it; a
// draft opens in place in the text editor. The copies go at program exit.
// A failed file step shows "ファイルの読み書きに失敗しました.", a program that
// cannot be started "システムエラーが発生しました.".

inline constexpr std::string_view text_copy_template = "qlm_$$$$.TXT";
inline constexpr std::string_view html_copy_template = "qlm_$$$$.HTM";

struct open_outcome {
    bool ok;           // the viewer or editor was started, or nothing had to be shown
    bool became_read;  // a new message is read now: its row's "!" turns blank
};

// Opens message `number` of `folder` (a full path ending with "/", in the
// account directory `account_root`). A draft opens in the editor, its body
// or, with `all_headers`, its header; a draft in the trash opens nothing.
// Any other message: the viewer gets a copy of the header lines named by the
// "open header" setting, an empty line and the first text/plain part (none:
// nothing happens), and a new message becomes read; with `all_headers` a
// copy of the whole header, and the type stays.
open_outcome open_message(std::string_view folder, std::string_view account_root, int number, bool all_headers,
                          reporter& report);

// Starts the text editor on a draft's body ("1") or header ("0").
bool open_draft_in_editor(std::string_view message_dir, bool header, reporter& report);

// Shows part `part` (1 and up) of the message: a copy of the whole part file
// in the text viewer, or for a text/html part in the program the desktop
// registers for HTML ("qlm_$$$$.HTM"). A text part kept as it was sent (an
// attached text file) is shown with its body decoded, in CP932 but for
// HTML. Failures are shown here.
bool view_part(std::string_view message_dir, int part, reporter& report);

}  // namespace qm
