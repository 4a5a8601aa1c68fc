#pragma once

namespace qm::cli {

inline constexpr const char* sync_syntax = "sync ACCOUNT|--all [--trace]";
inline constexpr const char* sync_usage =
    "sync ACCOUNT|--all [--trace]   receive and send the mail of an account (or of all)";

// quillmere-cli sync: one send/receive round for ACCOUNT, or for every
// account in turn with --all (quietly, as the round of all accounts does,
// ending with "巡回送受信が終了しました."). Stored passwords are used; a
// missing one is read from the terminal without echo (from standard input
// when it is no terminal). --trace prints the protocol trace on standard
// output, passwords masked; messages go to standard error. Ctrl-C cancels
// the running job. 0 when every round succeeded (also without new mail), 1
// when any failed, 2 for a usage error.
int run_sync(int argc, char** argv);

}  // namespace qm::cli
