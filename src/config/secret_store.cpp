#include "config/secret_store.h"

#include <libsecret/secret.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include "platform/shared_library.h"

namespace qm {

namespace {

// libsecret and the GLib it brings, loaded when the keyring is first asked
// about. Without them there is no keyring: secrets stay in the files.
struct secret_library {
    decltype(&::g_utf8_validate) utf8_validate = nullptr;
    decltype(&::g_utf8_make_valid) utf8_make_valid = nullptr;
    decltype(&::g_free) free = nullptr;
    decltype(&::g_clear_error) clear_error = nullptr;
    decltype(&::g_object_unref) object_unref = nullptr;
    decltype(&::g_variant_new) variant_new = nullptr;
    decltype(&::g_variant_get) variant_get = nullptr;
    decltype(&::g_variant_unref) variant_unref = nullptr;
    decltype(&::g_bus_get_sync) bus_get_sync = nullptr;
    decltype(&::g_dbus_connection_set_exit_on_close) set_exit_on_close = nullptr;
    decltype(&::g_dbus_connection_call_sync) call_sync = nullptr;
    decltype(&::secret_value_new) value_new = nullptr;
    decltype(&::secret_value_get) value_get = nullptr;
    decltype(&::secret_value_unref) value_unref = nullptr;
    decltype(&::secret_password_store_binary_sync) store_binary_sync = nullptr;
    decltype(&::secret_password_lookup_binary_sync) lookup_binary_sync = nullptr;
    decltype(&::secret_password_clear_sync) clear_sync = nullptr;
    bool ready = false;
};

const secret_library& lib() {
    static const secret_library library = [] {
        secret_library api;
        shared_library loaded("libsecret-1.so.0");
        api.ready = loaded.bind(api.utf8_validate, "g_utf8_validate") &&
                    loaded.bind(api.utf8_make_valid, "g_utf8_make_valid") && loaded.bind(api.free, "g_free") &&
                    loaded.bind(api.clear_error, "g_clear_error") && loaded.bind(api.object_unref, "g_object_unref") &&
                    loaded.bind(api.variant_new, "g_variant_new") && loaded.bind(api.variant_get, "g_variant_get") &&
                    loaded.bind(api.variant_unref, "g_variant_unref") && loaded.bind(api.bus_get_sync, "g_bus_get_sync") &&
                    loaded.bind(api.set_exit_on_close, "g_dbus_connection_set_exit_on_close") &&
                    loaded.bind(api.call_sync, "g_dbus_connection_call_sync") &&
                    loaded.bind(api.value_new, "secret_value_new") && loaded.bind(api.value_get, "secret_value_get") &&
                    loaded.bind(api.value_unref, "secret_value_unref") &&
                    loaded.bind(api.store_binary_sync, "secret_password_store_binary_sync") &&
                    loaded.bind(api.lookup_binary_sync, "secret_password_lookup_binary_sync") &&
                    loaded.bind(api.clear_sync, "secret_password_clear_sync");
        return api;
    }();
    return library;
}

// How a secret is stored: as it is, the CP932 bytes in a SecretValue of
// content type "application/octet-stream", through the binary forms of
// libsecret's simple password API (secret_password_store_binary_sync and
// secret_password_lookup_binary_sync). Every byte (0x80-0xFF, even zero)
// comes back as stored, nothing is encoded, and an ASCII password reads as
// itself in the keyring manager. libsecret copies the bytes into its own
// secure memory (secret_value_new), which secret_value_unref wipes; this file
// makes no other copy of a secret, so there is nothing more to wipe here.
constexpr const char* octet_stream = "application/octet-stream";

const SecretSchema schema = {"org.quillmere.Secret",
                             SECRET_SCHEMA_NONE,
                             {{"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"secret", SECRET_SCHEMA_ATTRIBUTE_STRING}},
                             0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

constexpr const char* secrets_name = "org.freedesktop.secrets";
// A bus that does not answer its own driver within this is taken as none.
constexpr int bus_timeout_ms = 3000;

std::atomic<bool> available{false};

// The name of a kind; "" for a value outside the enumeration.
const char* kind_c_name(secret_kind kind) {
    switch (kind) {
        case secret_kind::pop_password: return "POP password";
        case secret_kind::smtp_password: return "SMTP password";
        case secret_kind::refresh_token: return "OAuth2 refresh token";
        case secret_kind::client_secret: return "OAuth2 client secret";
    }
    return "";
}

// An id that D-Bus can carry whole as an attribute.
bool usable_id(std::string_view id) {
    return !id.empty() && lib().ready && lib().utf8_validate(id.data(), static_cast<gssize>(id.size()), nullptr);
}

// Whether a session bus is known without asking GDBus, which would
// autolaunch one (dbus-launch) when none is.
bool session_bus_known() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return std::string_view(address).find("autolaunch:") == std::string_view::npos;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') return false;
    struct stat status {};
    return ::stat((std::string(runtime) + "/bus").c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

// The reply of the bus driver to `method` with `parameters`; nullptr when none.
GVariant* ask_bus(GDBusConnection* bus, const char* method, GVariant* parameters, const char* reply_type) {
    GError* error = nullptr;
    // The type is its text (G_VARIANT_TYPE without GLib's checks).
    GVariant* reply = lib().call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", method, parameters,
                                                  reinterpret_cast<const GVariantType*>(reply_type), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                  bus_timeout_ms, nullptr, &error);
    lib().clear_error(&error);
    return reply;
}

// Only a service that runs counts: one that the bus could merely start on
// demand (a bare session, a CI machine) would ask for a new keyring's
// password in a prompt nobody answers.
bool service_on(GDBusConnection* bus) {
    bool found = false;
    if (GVariant* reply = ask_bus(bus, "NameHasOwner", lib().variant_new("(s)", secrets_name), "(b)")) {
        gboolean owned = FALSE;
        lib().variant_get(reply, "(b)", &owned);
        found = owned;
        lib().variant_unref(reply);
    }
    return found;
}

using value_ref = std::unique_ptr<SecretValue, void (*)(gpointer)>;

}  // namespace

std::string_view secret_kind_name(secret_kind kind) { return kind_c_name(kind); }

bool keyring_available() {
    if (available.load()) return true;
    if (!session_bus_known() || !lib().ready) return false;
    GError* error = nullptr;
    GDBusConnection* bus = lib().bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    lib().clear_error(&error);
    if (bus == nullptr) return false;
    // The process's shared connection, which libsecret uses too: a bus that
    // goes away (a logout) must not end the program with SIGTERM.
    lib().set_exit_on_close(bus, FALSE);
    bool found = service_on(bus);
    lib().object_unref(bus);
    if (found) available.store(true);
    return found;
}

bool keyring_store(std::string_view keyring_id, secret_kind kind, std::string_view label, std::string_view secret) {
    try {
        const char* name = kind_c_name(kind);
        if (!usable_id(keyring_id) || *name == '\0' || !keyring_available()) return false;
        const std::string account(keyring_id);
        std::unique_ptr<gchar, void (*)(gpointer)> text(
            lib().utf8_make_valid(label.data(), static_cast<gssize>(label.size())), lib().free);
        value_ref value(lib().value_new(secret.data(), static_cast<gssize>(secret.size()), octet_stream),
                        lib().value_unref);
        GError* error = nullptr;
        bool stored = value && lib().store_binary_sync(&schema, SECRET_COLLECTION_DEFAULT, text.get(),
                                                                 value.get(), nullptr, &error, "account",
                                                                 account.c_str(), "secret", name, nullptr);
        stored = stored && error == nullptr;
        lib().clear_error(&error);
        return stored;
    } catch (...) {
        return false;
    }
}

std::optional<std::string> keyring_lookup(std::string_view keyring_id, secret_kind kind) {
    try {
        const char* name = kind_c_name(kind);
        if (!usable_id(keyring_id) || *name == '\0' || !keyring_available()) return std::nullopt;
        const std::string account(keyring_id);
        GError* error = nullptr;
        value_ref value(lib().lookup_binary_sync(&schema, nullptr, &error, "account", account.c_str(),
                                                           "secret", name, nullptr),
                        lib().value_unref);
        lib().clear_error(&error);
        if (!value) return std::nullopt;
        gsize length = 0;
        const gchar* bytes = lib().value_get(value.get(), &length);
        // Made in place in the caller's object: no copy is left behind to wipe.
        return std::optional<std::string>(std::in_place, bytes, length);
    } catch (...) {
        return std::nullopt;
    }
}

bool keyring_forget(std::string_view keyring_id, std::optional<secret_kind> kind) {
    try {
        const char* name = kind ? kind_c_name(*kind) : "";
        if (!usable_id(keyring_id) || (kind && *name == '\0') || !keyring_available()) return false;
        const std::string account(keyring_id);
        GError* error = nullptr;
        // False with no error means that there was nothing to remove.
        if (kind)
            lib().clear_sync(&schema, nullptr, &error, "account", account.c_str(), "secret", name, nullptr);
        else
            lib().clear_sync(&schema, nullptr, &error, "account", account.c_str(), nullptr);
        bool cleared = error == nullptr;
        lib().clear_error(&error);
        return cleared;
    } catch (...) {
        return false;
    }
}

std::string new_keyring_id() {
    try {
        unsigned char bytes[16];
        if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
        constexpr char digits[] = "0123456789abcdef";
        std::string id;
        for (unsigned char byte : bytes) id += {digits[byte >> 4], digits[byte & 0x0f]};
        return id;
    } catch (...) {
        return {};
    }
}

}  // namespace qm
