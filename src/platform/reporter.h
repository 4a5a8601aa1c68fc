#pragma once

#include <string>
#include <string_view>

#include "platform/string_table.h"

namespace qm {

// The three kinds of message the program shows: a notice (title "通知", OK),
// a question (title "確認", OK and Cancel) and an error (title "エラー", OK).
enum class message_kind { notice, confirm, error };

// How the core shows a message. The core never shows anything itself: the
// window implements this with message boxes, the command-line program with
// its terminal, and tests by recording. Texts are CP932.
class reporter {
public:
    virtual ~reporter() = default;

    // Shows the text; true when the user answered OK (always true for a
    // notice or an error).
    virtual bool show(message_kind kind, std::string_view text) = 0;

    void notice(int text_id) { show(message_kind::notice, load_string(text_id)); }
    bool confirm(int text_id) { return show(message_kind::confirm, load_string(text_id)); }
    void error(int text_id) { show(message_kind::error, load_string(text_id)); }
};

// The title of a message of this kind, from the string table.
const std::string& message_title(message_kind kind);

}  // namespace qm
