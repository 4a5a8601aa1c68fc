#pragma once

namespace qm::cli {

inline constexpr const char* new_syntax =
    "new ACCOUNT --to ADDR --subject TEXT [--template NAME] [--signature NAME] [--body FILE] [--queue]";
inline constexpr const char* new_usage =
    "new ACCOUNT --to ADDR --subject TEXT [--template NAME] [--signature NAME] [--body FILE] [--queue]"
    "   prepare a new mail";

// quillmere-cli new: prepares a new mail of ACCOUNT in its drafts folder, as
// the new-mail dialog does: ADDR is an address, an address-book entry or a
// group; NAME a template or signature of the account; FILE a UTF-8 text that
// becomes the body, before the signature. Without --queue the draft opens in
// the text editor; with it, it moves to the outbox for the next send. Prints
// the folder (relative to the mailbox root) and number of the draft. 0 on
// success, 1 when the draft could not be made or opened, 2 for a usage error.
int run_new(int argc, char** argv);

}  // namespace qm::cli
