#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

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
}  // namespace account_key

// Everything the account dialog saves: ports as the typed text, passwords
// already scrambled (scramble_password).
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
};

// The main window's navigation state, updated when an account's title
// changes.
struct navigation {
    std::string current_folder;  // full path of the folder shown
    std::string account_root;    // full path of its account directory
    std::array<std::string, 12> marks;  // relative to the mailbox root
    std::string previous;               // relative to the mailbox root
};

// mailbox + title + "/" and mailbox + title + "/account.ini".
std::string account_directory(std::string_view mailbox, std::string_view title);
std::string account_file(std::string_view mailbox, std::string_view title);

// The titles of the sub-directories of the mailbox root, in CP932 byte order
// (a stable order for the account menu and selector).
std::vector<std::string> list_accounts(std::string_view mailbox);
// The index-th title of list_accounts; false when there is none.
bool account_title(std::string_view mailbox, int index, std::string& title);
bool account_exists(std::string_view mailbox, std::string_view title);

// Makes the account directory with its five folders (trash, inbox, outbox,
// drafts, sent) and writes "account.ini" (mode 0600): the 17 keys and
// "verify certificate", in that order. An existing directory is never taken
// over. On any failure nothing of the new account is left behind.
bool create_account(std::string_view mailbox, std::string_view title, const account_values& values);

// Gives the account its new title (when it differs, exactly) and writes
// every key again. With `nav`, a folder shown in the account stays shown
// under the new title, and the marks and previous position whose first
// component is the old title get the new one. A failed rename changes
// nothing; the keys are written in one rewrite, and false when that fails.
bool update_account(std::string_view mailbox, std::string_view old_title, std::string_view new_title,
                    const account_values& values, navigation* nav);

// Deletes the account directory with all its folders and mail, permanently.
bool delete_account(std::string_view mailbox, std::string_view title);

// The dialog's two questions before deleting an account: "削除しますか?",
// then "以下全てのメールが削除されますがよろしいですか?". True when both were
// answered OK.
bool confirm_account_deletion(reporter& report);

// One value of the account file, or the default, cut to capacity - 1 bytes.
std::string read_account_key(std::string_view mailbox, std::string_view title, std::string_view key,
                             std::string_view default_value, std::size_t capacity = account_value_capacity);

// The stored password of `key` ("POP password", "SMTP password"), read
// whole and unscrambled; empty when none is stored.
std::string read_account_password(std::string_view mailbox, std::string_view title, std::string_view key);

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
// Scrambling leaves an empty text, and a text that already begins with "?"
// (a stored value), unchanged; the stored form is never cut, whatever
// `capacity` the typed password came in.
void scramble_password(std::string& password, std::size_t capacity = password_capacity);
void unscramble_password(std::string& password);

// The account dialog's checks before saving, in this order: the title is a
// valid folder name (str::folder_name_rules), the name a valid display name
// (str::invalid_display_name), the address a valid address
// (str::invalid_address), and a new title must not name an existing account
// (str::name_exists). `is_new_title` is true for a new account and for any
// change of the title, compared exactly (titles are file names, and file
// names are case-sensitive). The string-table id of the first failure, or 0.
int check_account(std::string_view mailbox, std::string_view title, std::string_view name,
                  std::string_view address, bool is_new_title);

}  // namespace qm
