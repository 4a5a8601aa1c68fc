#include "config/account_settings.h"

#include <algorithm>
#include <limits>

#include <sys/stat.h>

#include "base/find_nocase.h"
#include "base/secret_wipe.h"
#include "config/account_secrets.h"
#include "config/folder_names.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/cp932.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"

namespace qm {

namespace {

constexpr unsigned char scramble_base = 159;
constexpr char scrambled_mark = '?';
constexpr char escaped_mark = '\x9f';
constexpr unsigned char escape_flip = 0x40;
constexpr unsigned account_file_mode = 0600;

// The map is its own inverse.
char scramble_byte(char c) {
    return static_cast<char>(static_cast<unsigned char>(scramble_base - static_cast<unsigned char>(c)));
}

// Scrambled bytes that would end or split a settings line (LF, Ctrl-Z), be
// lost at its end (CR) or cut a C string (zero), and the escape byte.
bool needs_escape(char scrambled) {
    return scrambled == '\0' || scrambled == '\n' || scrambled == '\r' || scrambled == '\x1a' ||
           scrambled == escaped_mark;
}

void make_private(const std::string& path) {
    std::string name = disk_path(path);
    if (!name.empty()) ::chmod(name.c_str(), account_file_mode);
}


bool key_present(const std::string& path, std::string_view key) {
    constexpr std::string_view absent = "\x01";
    return profile_read_string(path, account_section, key, absent, account_value_capacity) != absent;
}

}  // namespace

std::string account_directory(std::string_view mailbox, std::string_view title) {
    return std::string(mailbox) + std::string(title) + "/";
}

std::string account_file(std::string_view mailbox, std::string_view title) {
    return account_directory(mailbox, title) + std::string(account_file_name);
}

bool write_account_file(std::string_view path_text, const account_values& v) {
    const std::string path(path_text);
    namespace k = account_key;
    // A file kept from elsewhere becomes private before a password goes in;
    // every rewrite keeps the mode of the file it replaces.
    if (path_exists(path)) make_private(path);
    auto text = [](std::string_view key, std::string_view value) {
        return profile_default{account_section, key, std::string(value)};
    };
    auto flag = [](std::string_view key, bool value) {
        return profile_default{account_section, key, value ? "+" : "-"};
    };
    std::vector<profile_default> keys{
        text(k::name, v.name), text(k::address, v.address), text(k::pop_server, v.pop_server),
        text(k::pop_port, v.pop_port), flag(k::pop_over_ssl, v.pop_over_ssl), flag(k::apop, v.apop),
        text(k::pop_id, v.pop_id), text(k::pop_password, v.pop_password), flag(k::pop_remove, v.pop_remove),
        text(k::smtp_server, v.smtp_server), text(k::smtp_port, v.smtp_port),
        flag(k::smtp_over_ssl, v.smtp_over_ssl), flag(k::smtp_auth, v.smtp_auth), text(k::smtp_id, v.smtp_id),
        text(k::smtp_password, v.smtp_password), text(k::auto_cc, v.auto_cc), text(k::auto_bcc, v.auto_bcc),
        flag(k::verify_certificate, v.verify_certificate), flag(k::smtp_starttls, v.smtp_starttls),
        flag(k::pop_stls, v.pop_stls)};
    // The sign-in keys only where they say something or were said before:
    // the file of an account that logs in with passwords stays as it was.
    const std::pair<std::string_view, std::string> later_keys[] = {
        {k::pop_login, v.pop_oauth2 ? std::string(login_oauth2) : ""},
        {k::smtp_login, v.smtp_oauth2 ? std::string(login_oauth2) : ""},
        {k::oauth2_authorize_url, v.oauth2_authorize_url}, {k::oauth2_token_url, v.oauth2_token_url},
        {k::oauth2_client_id, v.oauth2_client_id}, {k::oauth2_client_secret, v.oauth2_client_secret},
        {k::oauth2_scope, v.oauth2_scope}, {k::oauth2_refresh_token, v.oauth2_refresh_token},
        {k::keyring_id, v.keyring_id}};
    for (const auto& [key, value] : later_keys) {
        const bool login_key = key == k::pop_login || key == k::smtp_login;
        if (!value.empty() || key_present(path, key))
            keys.push_back(text(key, value.empty() && login_key ? login_password : std::string_view(value)));
    }
    // All keys in one rewrite: a failure leaves the file as it was.
    bool ok = profile_set_strings(path, keys, false);
    if (path_exists(path)) make_private(path);
    return ok;
}


std::vector<std::string> list_accounts(std::string_view mailbox) {
    std::vector<std::string> titles;
    directory_walker walker(mailbox);
    dir_entry entry;
    while (walker.is_open() && walker.next(entry)) {
        // A linked directory is not followed: it could lead anywhere, the
        // mailbox itself included.
        if (entry.directory && !entry.symlink && is_listed_folder_name(entry.name)) titles.push_back(entry.name);
    }
    // std::string compares bytes as unsigned values: CP932 byte order.
    std::sort(titles.begin(), titles.end());
    return titles;
}

bool account_title(std::string_view mailbox, int index, std::string& title) {
    std::vector<std::string> titles = list_accounts(mailbox);
    if (index < 0 || static_cast<std::size_t>(index) >= titles.size()) return false;
    title = titles[static_cast<std::size_t>(index)];
    return true;
}

bool account_exists(std::string_view mailbox, std::string_view title) {
    return directory_exists(std::string(mailbox) + std::string(title));
}

std::string read_account_key(std::string_view mailbox, std::string_view title, std::string_view key,
                             std::string_view default_value, std::size_t capacity) {
    return profile_read_string(account_file(mailbox, title), account_section, key, default_value, capacity);
}

std::string read_account_password(std::string_view mailbox, std::string_view title, std::string_view key) {
    std::string password =
        read_account_key(mailbox, title, key, "", std::numeric_limits<std::size_t>::max());
    unscramble_password(password);
    return password;
}

account_values load_account_values(std::string_view mailbox, std::string_view title) {
    account_values values = load_file_values(mailbox, title);
    fill_keyring_secrets(values);
    return values;
}

account_values load_file_values(std::string_view mailbox, std::string_view title) {
    const current_account stored = load_current_account(mailbox, title);
    auto raw = [&](std::string_view key, std::string_view fallback) {
        return read_account_key(mailbox, title, key, fallback, std::string::npos);
    };
    return {.name = stored.name, .address = stored.address, .pop_server = stored.pop_server,
            .pop_port = raw(account_key::pop_port, std::to_string(default_pop_port)),
            .pop_over_ssl = stored.pop_over_ssl, .apop = stored.apop, .pop_id = stored.pop_id,
            .pop_password = raw(account_key::pop_password, ""), .pop_remove = stored.pop_remove,
            .smtp_server = stored.smtp_server,
            .smtp_port = raw(account_key::smtp_port, std::to_string(default_smtp_port)),
            .smtp_over_ssl = stored.smtp_over_ssl, .smtp_auth = stored.smtp_auth, .smtp_id = stored.smtp_id,
            .smtp_password = raw(account_key::smtp_password, ""), .auto_cc = stored.auto_cc,
            .auto_bcc = stored.auto_bcc, .verify_certificate = stored.verify_certificate,
            .smtp_starttls = stored.smtp_starttls, .pop_stls = stored.pop_stls, .pop_oauth2 = stored.pop_oauth2,
            .smtp_oauth2 = stored.smtp_oauth2,
            .oauth2_authorize_url = raw(account_key::oauth2_authorize_url, ""),
            .oauth2_token_url = raw(account_key::oauth2_token_url, ""),
            .oauth2_client_id = raw(account_key::oauth2_client_id, ""),
            .oauth2_client_secret = raw(account_key::oauth2_client_secret, ""),
            .oauth2_scope = raw(account_key::oauth2_scope, ""),
            .oauth2_refresh_token = raw(account_key::oauth2_refresh_token, ""), .keyring_id = stored.keyring_id};
}

bool account_complete(const current_account& account) {
    return !account.address.empty() && !account.pop_server.empty() && !account.smtp_server.empty() &&
           !account.pop_id.empty();
}

current_account load_current_account(std::string_view mailbox, std::string_view title) {
    namespace k = account_key;
    std::string path = account_file(mailbox, title);
    auto text = [&](std::string_view key) {
        return profile_read_string(path, account_section, key, "", account_value_capacity);
    };
    auto flag = [&](std::string_view key, bool fallback) {
        return profile_read_bool(path, account_section, key, fallback);
    };
    current_account a;
    a.name = text(k::name);
    a.address = text(k::address);
    a.pop_server = text(k::pop_server);
    a.pop_port = profile_read_int(path, account_section, k::pop_port, default_pop_port);
    a.pop_over_ssl = flag(k::pop_over_ssl, false);
    a.apop = flag(k::apop, false);
    a.pop_id = text(k::pop_id);
    a.pop_remove = flag(k::pop_remove, true);
    a.smtp_server = text(k::smtp_server);
    a.smtp_port = profile_read_int(path, account_section, k::smtp_port, default_smtp_port);
    a.smtp_over_ssl = flag(k::smtp_over_ssl, false);
    a.smtp_auth = flag(k::smtp_auth, false);
    a.smtp_id = text(k::smtp_id);
    a.auto_cc = text(k::auto_cc);
    a.auto_bcc = text(k::auto_bcc);
    a.verify_certificate = flag(k::verify_certificate, true);
    a.smtp_starttls = flag(k::smtp_starttls, false);
    a.pop_stls = flag(k::pop_stls, false);
    auto oauth2 = [&](std::string_view key) { return equals_nocase(text(key), login_oauth2); };
    a.pop_oauth2 = oauth2(k::pop_login);
    a.smtp_oauth2 = oauth2(k::smtp_login);
    a.keyring_id = text(k::keyring_id);
    return a;
}

namespace {
connection_security security_of(bool over_ssl, bool upgrade) {
    if (over_ssl) return connection_security::tls;
    return upgrade ? connection_security::starttls : connection_security::none;
}
}  // namespace

connection_security smtp_security(const current_account& account) {
    return security_of(account.smtp_over_ssl, account.smtp_starttls);
}

connection_security pop_security(const current_account& account) {
    return security_of(account.pop_over_ssl, account.pop_stls);
}

void scramble_password(std::string& password) {
    if (password.empty()) return;
    std::string scrambled(password);
    std::transform(scrambled.begin(), scrambled.end(), scrambled.begin(), scramble_byte);
    std::string stored(1, scrambled_mark);
    if (std::none_of(scrambled.begin(), scrambled.end(), needs_escape)) {
        stored += scrambled;
    } else {
        stored += escaped_mark;
        for (char c : scrambled) {
            if (needs_escape(c)) {
                stored += escaped_mark;
                c = static_cast<char>(c ^ escape_flip);
            }
            stored += c;
        }
    }
    wipe_password(scrambled);
    wipe_password(password);
    password.swap(stored);
}

void unscramble_password(std::string& password) {
    if (password.empty() || password.front() != scrambled_mark) return;
    bool escaped = password.size() > 1 && password[1] == escaped_mark;
    std::string plain;
    for (std::size_t i = escaped ? 2 : 1; i < password.size(); ++i) {
        char c = password[i];
        if (escaped && c == escaped_mark) {
            if (++i == password.size()) break;
            c = static_cast<char>(password[i] ^ escape_flip);
        }
        plain += scramble_byte(c);
    }
    wipe_password(password);
    password.swap(plain);
}

}  // namespace qm
