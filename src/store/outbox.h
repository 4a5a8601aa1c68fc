#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

namespace qm {

// Mail waits for sending as message directories (".<n>/") directly in the
// account's outbox. Before a send job each is brought into its final form and
// written in wire form to a prepared file "<n>.smt" in the work directory;
// the SMTP client sends those files and deletes each one the server
// accepted. Afterwards every message whose prepared file is gone moves to
// the sent folder; the others stay queued.
//
// The work directory also keeps the list of the messages one preparation
// wrote, so that filing only ever takes messages of that job: a message that
// was never prepared, or whose preparation failed, has no prepared file
// either, and must not be taken for sent.

// The sent copy keeps the exact wire form under this name.
inline constexpr std::string_view sent_wire_copy_name = "raw";
// The X-Mailer value: the program, its version and the system it runs on
// ("Quillmere 3.0.1 (Linux)" for version 3.0.1).
std::string_view mailer_name();

// A draft to be sent (the 送信 command, and the editor's 送信): a message of
// type "D" directly in an account's drafts folder or outbox.
struct draft_to_send {
    std::string account_title;
    std::string account_root;
    int number = -1;
    bool queued = false;  // it is in the outbox already
};
// Where the message directory (ending with "/") lies, when it is such a
// draft of the mailbox; nullopt for anything else.
std::optional<draft_to_send> find_draft_to_send(std::string_view mailbox, std::string_view message_dir);

// The message directory names (".<n>") directly in the outbox folder, in
// number order (".2" before ".10"). Other entries are no messages.
std::vector<std::string> outbox_messages(std::string_view outbox_folder);

// Whether the outbox of the account (its directory ends with "/") has more
// than its two fixed sub-folders, drafts and sent: then a send job runs, and
// leaving the program warns about unsent mail.
bool outbox_holds_mail(std::string_view account_root);

// What a preparation did.
struct outbox_preparation {
    std::size_t prepared = 0;  // messages whose prepared file waits for the send job
    std::size_t kept = 0;      // messages that stay queued unprepared; each was reported
    bool operator==(const outbox_preparation&) const = default;
};

// Prepares every outbox message for sending: its header and body end with a
// line feed, half-width katakana are widened, the header gets a "Date:" line
// for now (replacing every old one, or appended) and, unless it has one, a
// "Message-ID:" with the domain of the sender (text/message_id.h), the body
// begins with a blank line, and the wire form goes to its prepared file, of which the
// message keeps a copy as "raw". Beside each prepared file goes its envelope,
// read from the header file whole (draft_header.h): the first address of
// From as the sender, every address of To, Cc and Bcc as the recipients; the
// Bcc lines then leave the prepared file (the copy keeps them). Prepared
// files of earlier jobs are removed first, so that only this job's messages
// are sent.
//
// A message that cannot be prepared (no sender, a mailbox without a usable
// address, no recipient, a file that cannot be read or written) leaves no
// prepared file and stays queued, and an error names it by its subject and
// says why; the other messages are prepared all the same. When the list of
// prepared messages cannot be written, no prepared file remains and
// "ファイルの読み書きに失敗しました." is shown. Other files of the work
// directory (downloaded mail) always stay.
outbox_preparation prepare_outbox(std::string_view account_root, std::string_view work_directory, reporter& report);

// Files the sent messages: every message of the last preparation whose
// prepared file is gone moves whole into the sent folder (lowest free
// numbers first) with type "S", its "0" and "1" read-only and "raw" kept;
// every other message stays queued and its prepared file is deleted. Safe
// after a send job that failed half-way, and a second call files nothing.
// Failures are shown per step; a message stays wherever the failed step
// left it. The number of messages the server accepted.
std::size_t file_sent_mail(std::string_view account_root, std::string_view work_directory, reporter& report);

}  // namespace qm
