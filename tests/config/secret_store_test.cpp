// Account secrets in the Secret Service: a private GNOME Keyring on a private bus.

#include "config/secret_store.h"

#include <chrono>

#include "support/keyring_session.h"

namespace qm::test {
namespace {

// No bus known: nothing is started or waited for. (First: GDBus keeps the first session bus a process
// connects to, and libsecret its service.)
TEST(SecretStore, WithoutASessionBusNoKeyringIsAvailableAndLookupsFailAtOnce) {
    temp_dir runtime;
    scoped_env no_bus("DBUS_SESSION_BUS_ADDRESS", nullptr), empty_runtime("XDG_RUNTIME_DIR", runtime.path().c_str());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(keyring_available() || keyring_lookup(new_keyring_id(), secret_kind::pop_password) ||
                 keyring_store(new_keyring_id(), secret_kind::refresh_token, "label", "secret") || keyring_forget(new_keyring_id()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// The keyring runs for the test; a test that cannot start it fails (it is skipped only
// outside CI where gnome-keyring is not installed).
struct SecretStoreKeyring : ::testing::Test {
    void SetUp() override { start_server(keyring); }
    std::unique_ptr<keyring_session> keyring;
};

TEST_F(SecretStoreKeyring, EntriesComeBackByteExactAreReplacedAndForgottenByKindAndById) {
    using enum secret_kind;
    EXPECT_TRUE(keyring_available());
    const std::string a = new_keyring_id(), b = new_keyring_id();
    std::string high = "?";  // looks like a scrambled account.ini value, and every byte 0x80-0xFF
    for (int byte = 0x80; byte <= 0xff; ++byte) high += static_cast<char>(byte);
    const std::string cp932 = sj("パスワード") + std::string("\0z", 2), token = "1//0g-refresh_token.x";
    const std::tuple<std::string, secret_kind, std::string, std::string> entries[] = {
        {a, pop_password, "Quillmere: a POP password", high}, {a, smtp_password, "Quillmere: a SMTP パスワード", cp932},
        {a, refresh_token, "Quillmere: a OAuth2 refresh token", token}, {b, pop_password, "Quillmere: b POP password", "b's"}};
    for (const auto& [id, kind, label, secret] : entries) ASSERT_TRUE(keyring_store(id, kind, label, secret));
    for (const auto& [id, kind, label, secret] : entries) EXPECT_EQ(keyring_lookup(id, kind), secret) << label;
    EXPECT_EQ(keyring_lookup(a, client_secret), std::nullopt);

    // Replaced: the new one is the only one (forgetting it leaves none).
    ASSERT_TRUE(keyring_store(a, pop_password, "Quillmere: a POP password", "second"));
    EXPECT_EQ(keyring_lookup(a, pop_password), "second");
    EXPECT_TRUE(keyring_forget(a, pop_password));
    EXPECT_EQ(std::tuple(keyring_lookup(a, pop_password), keyring_lookup(a, smtp_password)), std::tuple(std::nullopt, cp932));
    EXPECT_TRUE(keyring_forget(a, pop_password));  // none there: still true

    // Every kind of one id; the other id keeps its own.
    EXPECT_TRUE(keyring_forget(a));
    EXPECT_EQ(std::tuple(keyring_lookup(a, smtp_password), keyring_lookup(a, refresh_token), keyring_lookup(b, pop_password)),
              std::tuple(std::nullopt, std::nullopt, "b's"));
    EXPECT_TRUE(keyring_forget(a));
    EXPECT_FALSE(keyring_store("", pop_password, "no id", "x"));
}

}  // namespace
}  // namespace qm::test
