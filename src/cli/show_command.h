#pragma once

namespace qm::cli {

inline constexpr const char* show_syntax = "show FOLDER NUMBER";
inline constexpr const char* show_usage = "show FOLDER NUMBER    print a message as the preview shows it";

// quillmere-cli show: prints message NUMBER (as `list` numbers them) of
// FOLDER (relative to the mailbox root) as the window's preview shows it, in
// UTF-8: its header block (sender, recipients, date, subject, attachments),
// an empty line and its text (the rendition of its HTML when it has no text
// of its own), every character as sent and control characters made
// visible. Only reads the store; a new message stays new. 0 on success, 1
// when the message is missing or the output fails, 2 for a usage error.
int run_show(int argc, char** argv);

}  // namespace qm::cli
