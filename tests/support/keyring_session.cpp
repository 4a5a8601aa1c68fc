#include "support/keyring_session.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <chrono>

namespace qm::test {

namespace {

using namespace std::chrono_literals;

std::string dbus_daemon() { return find_program({"/usr/bin/dbus-daemon", "/bin/dbus-daemon"}); }
std::string keyring_daemon() { return find_program({"/usr/bin/gnome-keyring-daemon", "/usr/local/bin/gnome-keyring-daemon"}); }

// A connection of its own to the private bus (the process's shared session
// connection is left alone); nullptr while the bus does not accept one.
GDBusConnection* connect(const std::string& address) {
    return g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

// The keyring's reply to one call; nullptr while there is none.
GVariant* ask_keyring(GDBusConnection* bus, const char* path, const char* interface, const char* method,
                      GVariant* parameters, const char* reply_type) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", path, interface, method, parameters,
                                       G_VARIANT_TYPE(reply_type), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
}

// Whether the keyring's default alias names a collection and that one is unlocked.
bool default_collection_unlocked(GDBusConnection* bus) {
    g_autoptr(GVariant) alias = ask_keyring(bus, "/org/freedesktop/secrets", "org.freedesktop.Secret.Service",
                                            "ReadAlias", g_variant_new("(s)", "default"), "(o)");
    const gchar* path = "/";
    if (alias) g_variant_get(alias, "(&o)", &path);
    if (g_strcmp0(path, "/") == 0) return false;
    g_autoptr(GVariant) locked = ask_keyring(bus, path, "org.freedesktop.DBus.Properties", "Get",
                                             g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), "(v)");
    g_autoptr(GVariant) value = nullptr;
    if (locked) g_variant_get(locked, "(v)", &value);
    return value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && !g_variant_get_boolean(value);
}

}  // namespace

bool keyring_session::installed() { return !dbus_daemon().empty() && !keyring_daemon().empty(); }

keyring_session::keyring_session()
    : bus_(directory_ / "dbus.out", directory_ / "dbus.log"), keyring_(directory_ / "keyring.out", directory_ / "keyring.log") {
    if (std::string why = start(); !why.empty()) {
        keyring_.stop();
        bus_.stop();
        failure_ = start_failure("The private keyring (dbus-daemon and gnome-keyring-daemon)", why, log());
    }
}

std::string keyring_session::log() const {
    return "dbus-daemon:\n" + bus_.log() + "gnome-keyring-daemon:\n" + keyring_.log();
}

std::string keyring_session::start() {
    if (!installed()) return "dbus-daemon or gnome-keyring-daemon is not installed (Debian packages dbus, gnome-keyring)";
    for (const char* folder : {"home", "data", "config", "cache", "run"})
        if (::mkdir((directory_ / folder).c_str(), 0700) != 0) return "cannot make " + directory_ / folder;
    address_ = "unix:path=" + directory_ / "run/bus";
    for (auto [name, value] : {std::pair<const char*, std::string>{"DBUS_SESSION_BUS_ADDRESS", address_},
                               {"HOME", directory_ / "home"}, {"XDG_DATA_HOME", directory_ / "data"},
                               {"XDG_CONFIG_HOME", directory_ / "config"}, {"XDG_CACHE_HOME", directory_ / "cache"},
                               {"XDG_RUNTIME_DIR", directory_ / "run"}})
        environment_.push_back(std::make_unique<scoped_env>(name, value.c_str()));
    // A keyring of the desktop the tests run in must not be found instead.
    environment_.push_back(std::make_unique<scoped_env>("GNOME_KEYRING_CONTROL", nullptr));

    const std::string configuration = directory_ / "bus.conf";
    write_bytes(configuration, filled_template("dbus-session.conf", {{"DIR", directory_ / "run"}}));
    // The address given on the command line replaces the configuration's <listen>.
    std::string why = bus_.start(
        0, {}, {dbus_daemon(), "--config-file=" + configuration, "--nofork", "--nopidfile", "--address=" + address_});
    if (!why.empty()) return why;
    g_autoptr(GDBusConnection) bus = nullptr;
    if (!wait_until([&] { return (bus = connect(address_)) != nullptr; }, 10s))
        return "dbus-daemon did not accept a connection on " + address_ + " within 10 seconds";

    // "--unlock" reads the login keyring's password from standard input to its
    // end and creates the keyring with it; an empty one creates nothing (and
    // every store would then want a prompt).
    const std::string password_file = directory_ / "login-password";
    write_bytes(password_file, "quillmere-test-keyring");
    ::chmod(password_file.c_str(), 0600);
    why = keyring_.start(0, {}, {"/bin/sh", "-c", "exec \"$0\" --foreground --components=secrets --unlock < \"$1\"",
                                 keyring_daemon(), password_file});
    if (!why.empty()) return why;
    if (!wait_until([&] { return default_collection_unlocked(bus); }, 10s))
        return "gnome-keyring-daemon did not offer an unlocked default collection within 10 seconds";
    // Closed before the bus goes.
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    return "";
}

}  // namespace qm::test
