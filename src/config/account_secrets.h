#pragma once

#include <string>
#include <string_view>

#include "config/account_settings.h"
#include "config/secret_store.h"

namespace qm {

// Where an account keeps its secrets (the POP and SMTP passwords, the OAuth
// 2.0 refresh token and client secret): in the desktop keyring when its
// file names a keyring id, else scrambled in their keys of account.ini, the
// form the Windows program reads. The place changes only when the account
// is saved from the dialog or `quillmere-cli account set`, never on its own.

// The secret, plain and whole; empty when none is stored (or the keyring
// that holds it does not answer now).
std::string read_account_secret(std::string_view mailbox, std::string_view title, secret_kind kind);

// Stores a secret the program obtained itself (a refresh token after a
// sign-in) where the account keeps its secrets; an empty one forgets it.
bool store_account_secret(std::string_view mailbox, std::string_view title, secret_kind kind,
                          std::string_view secret);

// The account's values with its secrets as the dialog shows them: those the
// keyring holds are read from it (scrambled, as the file would hold them).
void fill_keyring_secrets(account_values& values);

// Before the values are saved: with `in_keyring`, every secret (scrambled in
// `values`) goes into the keyring under the account's id (a new one when it
// has none) and its field is emptied; false, with `values` unchanged, when
// the keyring refused one. Without, the secrets stay in `values` for the
// file and the id is cleared; the entries under the old id are forgotten
// after the file is written (forget_keyring_secrets). `title` names the
// entries in the keyring manager.
bool place_account_secrets(account_values& values, bool in_keyring, std::string_view title);
void forget_keyring_secrets(std::string_view keyring_id);

// Whether the account's secrets are in the keyring.
inline bool secrets_in_keyring(const current_account& account) { return !account.keyring_id.empty(); }

}  // namespace qm
