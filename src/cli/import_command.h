#pragma once

namespace qm::cli {

inline constexpr const char* import_syntax = "import ACCOUNT [FILE...] [--mbox MBOX...]";
inline constexpr const char* import_usage =
    "import ACCOUNT [FILE...] [--mbox MBOX...]   file messages into the account's inbox";

// quillmere-cli import: files each FILE (one message) and each message of
// each MBOX into the inbox of ACCOUNT, as a receive job files downloaded
// mail. 0 when every message was filed, 1 when any failed (its download
// file stays in the work directory), 2 for a usage error.
int run_import(int argc, char** argv);

}  // namespace qm::cli
