#pragma once

namespace qm::cli {

inline constexpr const char* list_syntax = "list FOLDER [--sort N] [--descending] [--search TEXT]";
inline constexpr const char* list_usage =
    "list FOLDER [--sort N] [--descending] [--search TEXT]   print a folder's mail list";

// quillmere-cli list: prints the rows of FOLDER (relative to the mailbox
// root, as "標準アカウント/ 受信箱") in the mail list's order, one line each:
// attribute, date, party, subject, size, thread key and number, separated
// by TABs, in UTF-8. N is the sort column 0 to 5; without it the layout's
// sort column and direction hold. TEXT marks the messages that hold it. 0
// on success, 1 when the folder is missing or the output fails, 2 for a
// usage error.
int run_list(int argc, char** argv);

}  // namespace qm::cli
