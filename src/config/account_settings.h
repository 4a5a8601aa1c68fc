#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Accounts: each is a directory directly under the mailbox root, named by
// its title, holding its folders, its "uid.lst" and its settings file
// "account.ini" (section "account"). There is no list of accounts besides
// the directories. `mailbox` is the mailbox root ending with "/"; titles are
// CP932 names that pass is_valid_folder_name and are not empty.

inline constexpr std::string_view account_file_name = "account.ini";
inline constexpr std::string_view account_section = "account";
// Strings of the current-account record are read with this capacity
// (127 bytes of text).
inline constexpr std::size_t account_value_capacity = 128;
// The password fields take at most 127 bytes.
inline constexpr std::size_t password_capacity = 128;
inline constexpr int default_pop_port = 110;
inline constexpr int default_smtp_port = 25;

// The keys of "account.ini", in the order they are written.
namespace account_key {
inline constexpr std::string_view name = "name";
inline constexpr std::string_view address = "address";
inline constexpr std::string_view pop_server = "POP server";
inline constexpr std::string_view pop_port = "POP port";
inline constexpr std::string_view pop_over_ssl = "POP over SSL";
inline constexpr std::string_view apop = "APOP";
inline constexpr std::string_view pop_id = "POP id";
inline constexpr std::string_view pop_password = "POP password";
inline constexpr std::string_view pop_remove = "POP remove";
inline constexpr std::string_view smtp_server = "SMTP server";
inline constexpr std::string_view smtp_port = "SMTP port";
inline constexpr std::string_view smtp_over_ssl = "SMTP over SSL";
inline constexpr std::string_view smtp_auth = "SMTP AUTH";
inline constexpr std::string_view smtp_id = "SMTP id";
inline constexpr std::string_view smtp_password = "SMTP password";
inline constexpr std::string_view auto_cc = "auto Cc";
inline constexpr std::string_view auto_bcc = "auto Bcc";
// Whether the servers' certificates are checked; off accepts any
// certificate (a server with a self-signed one).
inline constexpr std::string_view verify_certificate = "verify certificate";
// The upgrade of a plain connection to TLS (SMTP STARTTLS, POP3 STLS). Off
// in a file written before it existed; with the same server's "over SSL"
// switch also on, TLS from the first byte is used.
inline constexpr std::string_view smtp_starttls = "SMTP STARTTLS";
inline constexpr std::string_view pop_stls = "POP STLS";
// How each server is logged in to: "password" (also when the key is
// missing) or "OAuth2".
inline constexpr std::string_view pop_login = "POP login";
inline constexpr std::string_view smtp_login = "SMTP login";
// The account's OAuth 2.0 registration (shared by both servers), and its
// refresh token (scrambled like a password) when no keyring holds it.
inline constexpr std::string_view oauth2_authorize_url = "OAuth2 authorize URL";
inline constexpr std::string_view oauth2_token_url = "OAuth2 token URL";
inline constexpr std::string_view oauth2_client_id = "OAuth2 client id";
inline constexpr std::string_view oauth2_client_secret = "OAuth2 client secret";
inline constexpr std::string_view oauth2_scope = "OAuth2 scope";
inline constexpr std::string_view oauth2_refresh_token = "OAuth2 refresh token";
// Set: the account's secrets (passwords, refresh token, client secret) are
// in the desktop keyring under this id, and their keys above are empty.
inline constexpr std::string_view keyring_id = "keyring id";
}  // namespace account_key

inline constexpr std::string_view login_password = "password";
inline constexpr std::string_view login_oauth2 = "OAuth2";
// The OAuth 2.0 addresses, client id and scopes take at most 1023 bytes.
inline constexpr std::size_t oauth2_value_capacity = 1024;

// Everything the account dialog saves: ports as the typed text, secrets
// (passwords, client secret, refresh token) already scrambled
// (scramble_password), wherever they are kept (config/account_secrets.h).
struct account_values {
    std::string name, address, pop_server;
    std::string pop_port;
    bool pop_over_ssl = false, apop = false;
    std::string pop_id, pop_password;
    bool pop_remove = true;
    std::string smtp_server;
    std::string smtp_port;
    bool smtp_over_ssl = false, smtp_auth = false;
    std::string smtp_id, smtp_password, auto_cc, auto_bcc;
    bool verify_certificate = true;
    bool smtp_starttls = false, pop_stls = false;
    bool pop_oauth2 = false, smtp_oauth2 = false;
    std::string oauth2_authorize_url, oauth2_token_url, oauth2_client_id, oauth2_client_secret, oauth2_scope;
    std::string oauth2_refresh_token;
    std::string keyring_id;
};

// The account the main window works with; passwords are read when a job
// needs them (read_account_password).
struct current_account {
    std::string name, address, pop_server;
    int pop_port = default_pop_port;
    bool pop_over_ssl = false, apop = false;
    std::string pop_id;
    bool pop_remove = true;
    std::string smtp_server;
    int smtp_port = default_smtp_port;
    bool smtp_over_ssl = false, smtp_auth = false;
    std::string smtp_id, auto_cc, auto_bcc;
    bool verify_certificate = true;
    bool smtp_starttls = false, pop_stls = false;
    bool pop_oauth2 = false, smtp_oauth2 = false;
    std::string keyring_id;
};

// How a job reaches a server: in the clear, TLS from the first byte, or a
// plain connection upgraded with STARTTLS (SMTP) or STLS (POP3).
enum class connection_security { none, tls, starttls };

// The security of each server; the first-byte switch wins over the upgrade
// when a file has both.
connection_security smtp_security(const current_account& account);
connection_security pop_security(const current_account& account);

// mailbox + title + "/" and mailbox + title + "/account.ini".
std::string account_directory(std::string_view mailbox, std::string_view title);
std::string account_file(std::string_view mailbox, std::string_view title);

// The titles of the sub-directories of the mailbox root, in CP932 byte order
// (a stable order for the account menu and selector).
std::vector<std::string> list_accounts(std::string_view mailbox);
// The index-th title of list_accounts; false when there is none.
bool account_title(std::string_view mailbox, int index, std::string& title);
bool account_exists(std::string_view mailbox, std::string_view title);

// Writes every key of the account file in one rewrite (mode 0600): false,
// with the file as it was, when that fails.
bool write_account_file(std::string_view path, const account_values& values);

// One value of the account file, or the default, cut to capacity - 1 bytes.
std::string read_account_key(std::string_view mailbox, std::string_view title, std::string_view key,
                             std::string_view default_value, std::size_t capacity = account_value_capacity);

// The stored password of `key` ("POP password", "SMTP password"), read
// whole and unscrambled; empty when none is stored.
std::string read_account_password(std::string_view mailbox, std::string_view title, std::string_view key);

// Whether the account has what a send/receive round needs: an address, both
// servers and a POP id (else "アカウント設定が完了していません.").
bool account_complete(const current_account& account);

// What the account file holds, as the account dialog shows it: texts as the
// record reads them, the ports as the stored text, the passwords as stored
// (scrambled).
// Secrets the keyring holds are read from it (scrambled).
account_values load_account_values(std::string_view mailbox, std::string_view title);
// The same, from the file alone.
account_values load_file_values(std::string_view mailbox, std::string_view title);

// Every key of the record from the account file, with the defaults.
current_account load_current_account(std::string_view mailbox, std::string_view title);

// Stored passwords. A stored value that begins with "?" is scrambled; any
// other value is a password stored as plain text and used as it is.
// - Ordinary form: "?" and each byte b of the password as (159 - b) mod 256.
// - Escaped form, used when a scrambled byte would be one a settings line
//   cannot hold safely (zero from b = 159, LF from 149, CR from 146, Ctrl-Z
//   from 133): "?" and 0x9F, then the scrambled bytes, where each of those
//   four and 0x9F itself is written as 0x9F followed by the byte XOR 0x40.
//   No ordinary value begins with "?" and 0x9F: that would take a zero byte
//   in the password.
// Scrambling takes a typed password and leaves only an empty one unchanged:
// a typed password that itself begins with "?" is scrambled too, so that it
// reads back as typed (a stored value is never scrambled again; the dialog
// keeps an unchanged one as it is). The stored form is never cut.
void scramble_password(std::string& password);
void unscramble_password(std::string& password);

}  // namespace qm
