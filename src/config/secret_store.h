#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// An account's secrets in the desktop's Secret Service (GNOME Keyring,
// KWallet's Secret Service, KeePassXC) through libsecret. Each entry is found
// by two attributes: "account", the account's own random id (kept in its
// account.ini), and "secret", the name of the kind. Secrets are CP932 bytes
// and come back byte for byte. No function throws; none starts a bus.

// Which secret of an account an entry holds; its name is the attribute stored with it.
enum class secret_kind { pop_password, smtp_password, refresh_token, client_secret };
// "POP password", "SMTP password", "OAuth2 refresh token", "OAuth2 client secret".
std::string_view secret_kind_name(secret_kind kind);

// Whether a Secret Service answers on the session bus: false at once, without
// starting or autolaunching anything, when no session bus is known
// (DBUS_SESSION_BUS_ADDRESS unset/empty and no $XDG_RUNTIME_DIR/bus socket);
// else whether org.freedesktop.secrets has an owner (a service that runs;
// one the bus could only start would prompt for a new keyring). The
// answer is kept for the life of the process once it is true.
bool keyring_available();

// The entry of (keyring_id, kind): `keyring_id` is an account's own random
// id, `label` the text the keyring manager shows (UTF-8, e.g. "Quillmere:
// <account> POP password"). Stores into the default collection (replacing an
// existing entry of the same id and kind); true when stored. An id must be a
// non-empty UTF-8 text without zero bytes (else nothing is done: false,
// nullopt); the keyring may ask the user to unlock it first.
bool keyring_store(std::string_view keyring_id, secret_kind kind, std::string_view label, std::string_view secret);
// The stored secret; nullopt when there is none or no service answers. The
// caller wipes it (wipe_password) when done.
std::optional<std::string> keyring_lookup(std::string_view keyring_id, secret_kind kind);
// Removes the entry (true also when there was none); removes every kind when
// `kind` is nullopt. False when no service answers.
bool keyring_forget(std::string_view keyring_id, std::optional<secret_kind> kind = std::nullopt);

// A new random id for an account's entries: 32 lower-case hex digits (OpenSSL
// RAND_bytes); "" in the unlikely case that no random bytes can be had.
std::string new_keyring_id();

}  // namespace qm
