#pragma once

namespace qm::cli {

inline constexpr const char* parts_syntax = "parts FOLDER NUMBER";
inline constexpr const char* parts_usage = "parts FOLDER NUMBER   list the parts of a message";

// quillmere-cli parts: prints the parts of message NUMBER (as `list` numbers
// them) of FOLDER (relative to the mailbox root), one line each: part
// number, kind, file name and size in bytes of the stored part, separated by
// TABs, in UTF-8. The kind is "body" for the text the preview shows and the
// media type for every other part. Only reads the store. 0 on success, 1
// when the message is missing or the output fails, 2 for a usage error.
int run_parts(int argc, char** argv);

}  // namespace qm::cli
