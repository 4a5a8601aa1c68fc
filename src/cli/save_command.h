#pragma once

namespace qm::cli {

inline constexpr const char* save_syntax = "save FOLDER NUMBER PART FILE [--force]";
inline constexpr const char* save_usage =
    "save FOLDER NUMBER PART FILE [--force]   restore one part of a message into a file";

// quillmere-cli save: restores part PART of message NUMBER of FOLDER into
// FILE as the attachment list's restore does: an attachment exactly as it
// was sent, the text as stored. FILE appears whole or not at all; an
// existing FILE is replaced only with --force. Only reads the store. 0 on
// success, 1 when the message or part is missing, FILE exists or cannot be
// written, 2 for a usage error.
int run_save(int argc, char** argv);

}  // namespace qm::cli
