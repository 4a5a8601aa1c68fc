#include "config/account_secrets.h"

#include <limits>
#include <optional>

#include "base/secret_wipe.h"
#include "config/profile.h"
#include "platform/cp932.h"

namespace qm {

namespace {

struct secret_place {
    secret_kind kind;
    std::string_view key;
    std::string account_values::*field;
};

constexpr secret_place places[] = {
    {secret_kind::pop_password, account_key::pop_password, &account_values::pop_password},
    {secret_kind::smtp_password, account_key::smtp_password, &account_values::smtp_password},
    {secret_kind::refresh_token, account_key::oauth2_refresh_token, &account_values::oauth2_refresh_token},
    {secret_kind::client_secret, account_key::oauth2_client_secret, &account_values::oauth2_client_secret},
};

const secret_place& place_of(secret_kind kind) {
    for (const secret_place& place : places)
        if (place.kind == kind) return place;
    return places[0];
}

// "Quillmere: 仕事 POP password", for the keyring manager's list.
std::string entry_label(std::string_view title, secret_kind kind) {
    return "Quillmere: " + cp932_to_utf8(title).value_or("?") + " " + std::string(secret_kind_name(kind));
}

// The keyring's answer copied out and wiped: a move would leave a short
// secret (kept inside the string object) behind in the temporary.
std::string looked_up(std::string_view id, secret_kind kind) {
    std::optional<std::string> found = keyring_lookup(id, kind);
    std::string secret;
    if (!found) return secret;
    secret.reserve(found->size());
    secret.assign(*found);
    wipe_password(*found);
    return secret;
}

}  // namespace

std::string read_account_secret(std::string_view mailbox, std::string_view title, secret_kind kind) {
    const std::string id = read_account_key(mailbox, title, account_key::keyring_id, "");
    if (!id.empty()) return looked_up(id, kind);
    return read_account_password(mailbox, title, place_of(kind).key);
}

bool store_account_secret(std::string_view mailbox, std::string_view title, secret_kind kind,
                          std::string_view secret) {
    const std::string id = read_account_key(mailbox, title, account_key::keyring_id, "");
    if (!id.empty())
        return secret.empty() ? keyring_forget(id, kind) : keyring_store(id, kind, entry_label(title, kind), secret);
    std::string stored(secret);
    scramble_password(stored);
    const bool written =
        profile_write_string(account_file(mailbox, title), account_section, place_of(kind).key, stored, false);
    wipe_password(stored);
    return written;
}

void fill_keyring_secrets(account_values& values) {
    if (values.keyring_id.empty()) return;
    for (const secret_place& place : places) {
        std::string secret = looked_up(values.keyring_id, place.kind);
        scramble_password(secret);
        wipe_password(values.*place.field);
        values.*place.field = std::move(secret);
    }
}

bool place_account_secrets(account_values& values, bool in_keyring, std::string_view title) {
    if (!in_keyring) {
        values.keyring_id.clear();
        return true;
    }
    const std::string id = values.keyring_id.empty() ? new_keyring_id() : values.keyring_id;
    if (id.empty()) return false;
    for (const secret_place& place : places) {
        std::string secret = values.*place.field;
        unscramble_password(secret);
        const bool kept = secret.empty() ? keyring_forget(id, place.kind)
                                         : keyring_store(id, place.kind, entry_label(title, place.kind), secret);
        wipe_password(secret);
        if (!kept) return false;
    }
    for (const secret_place& place : places) {
        wipe_password(values.*place.field);
        (values.*place.field).clear();
    }
    values.keyring_id = id;
    return true;
}

void forget_keyring_secrets(std::string_view keyring_id) {
    if (!keyring_id.empty()) keyring_forget(keyring_id);
}

}  // namespace qm
