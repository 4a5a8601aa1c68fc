#pragma once

namespace qm::cli {

inline constexpr const char* account_syntax = "account list|add|set|remove ... (see account --help)";
inline constexpr const char* account_usage =
    "account list|add|set|remove ...   list, add, change or remove accounts";

// quillmere-cli account: the account dialog's work from a shell.
// - list: every account, one a line in UTF-8: the title, a TAB, and
//   "complete" or "incomplete" (what a send/receive round needs is missing).
// - add TITLE: a new account from the options (address, POP3 server, POP3
//   user and SMTP server are required); the POP3 password, and with SMTP
//   AUTH the SMTP one, are asked without echo or read from --password-fd.
// - set TITLE: changes only what the options give (--title gives a new
//   title); a password only with --password or --smtp-password.
// - remove TITLE: deletes the account with all its mail after the window's
//   two questions, asked on the terminal (--yes answers them).
// Every switch has an "off" form "--no-...". Values are checked as the
// account dialog checks them. 0 on success, 1 when refused or failed (nothing
// is changed then), 2 for a usage error.
int run_account(int argc, char** argv);

}  // namespace qm::cli
