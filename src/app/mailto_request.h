#pragma once

#include <string>

#include "text/mailto.h"

namespace qm {

class window_;

// Requests that come from outside the window: a mailto: link, a draft the
// editor sends.

// The string number of the message that refuses a link read with `result`
// (not ok).
int mailto_refusal_text(mailto_result result);

// Opens the window's new-mail dialog filled in from a mailto: link, once no
// other dialog of the program is open (the one open is the user's to finish
// first). Before it, the user is told of addresses the dialog's single
// recipient leaves out and of characters replaced; a link that cannot be
// read is refused with a message and opens nothing.
void open_mailto_when_free(window_& window, std::string uri);

// Sends a draft (its message directory, UTF-8) as the 送信 command sends
// the drafts chosen in the list, once no dialog of the program is open.
void send_draft_when_free(window_& window, std::string directory);

}  // namespace qm
