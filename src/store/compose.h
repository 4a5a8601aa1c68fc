#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/account_settings.h"
#include "platform/reporter.h"

namespace qm {

// Drafts: every message the user writes starts as a message directory in the
// account's drafts folder (" 送信箱/草稿/") with a header "0", a body "1" and
// a status of type "D". A draft is prepared in one of four ways: a new
// message, a reply, a forward and a resend. Each is put together in the
// draft directory of the work directory (emptied first), filled from the
// source message, the account, the address book and groups, templates and
// signatures, then filed into the drafts folder under its lowest free number
// and opened in the text editor.
//
// The draft is assembled in a sub-directory of the work directory, never in
// the work directory itself: that also holds the download files ("<n>.pop")
// of receive jobs waiting to be filed and the prepared files (".smt") of a
// send, which emptying it for a draft would destroy.
//
// Every failure is shown (a file step as "ファイルの読み書きに失敗しました.");
// the draft is then not filed, and nothing of it is left in the drafts folder.

inline constexpr std::string_view quote_prefix = "> ";
// The line of "=" written before and after the forwarded header lines.
inline constexpr std::size_t forward_separator_length = 76;
// What the dialogs let the user type: a subject of 256 bytes, a recipient of
// 128.
inline constexpr std::size_t subject_limit = 256;
inline constexpr std::size_t recipient_limit = 128;
// Message identifiers taken into In-Reply-To and References: 242 bytes.
inline constexpr std::size_t message_id_capacity = 243;
// A forwarded subject: 986 bytes of the source message's subject.
inline constexpr std::size_t forward_subject_capacity = 987;

struct compose_context {
    std::string mailbox, account_root, work_directory;
    current_account account;  // the current account
};

// Whether a typed recipient can be taken: a group, an address-book entry, or
// a valid address (else the dialogs show "無効なメールアドレスです.").
bool is_valid_recipient(std::string_view recipient);

// The addresses a typed recipient stands for: a group's members, each looked
// up in the address book, or the one recipient looked up (a plain address
// passes as it is). Nothing for an empty recipient.
std::vector<std::string> recipient_addresses(std::string_view recipient);

// A new message. A template's header lines come first and win: From, Subject
// and To are added only where the template gave none. The recipient is an
// address, an address-book entry or a group (each member looked up in the
// address book). The account's automatic Cc and Bcc are added; the body is
// the template's body text, then `body_text` (CP932, lines ended by line
// feeds), then the signature after one line feed. Each of the four returns
// the new draft's number in the drafts folder, or -1 after the message was
// shown; with `open_editor` the filed draft's body is opened in the text
// editor (a failed start is shown, and the draft stays filed).
int create_new_mail_with_body(const compose_context& ctx, std::string_view template_name, std::string_view recipient,
                              std::string_view subject, std::string_view signature_name, std::string_view body_text,
                              reporter& report, bool open_editor = true);

// A reply to the message in `source_message_dir`: its text (the rendition of
// its HTML when it has no text of its own) quoted with "> "
// (with `quote`), then the template's body and the signature; To from its
// Reply-To, else its From (with `reply_to_all` also its To and Cc, without
// the account's own address); In-Reply-To and References from its
// identifiers. The source message is marked replied.
int create_reply(const compose_context& ctx, std::string_view source_message_dir, std::string_view template_name,
                 bool reply_to_all, std::string_view subject, bool quote, std::string_view signature_name,
                 reporter& report, bool open_editor = true);

// A forward of the source message's text to `recipient` (an address, an
// entry or a group): "Fwd: " and its subject, its sender lines between two
// separators, then its text (the rendition of its HTML when it has no text
// of its own), and References that carry its conversation on. With
// `with_attachments` its attachments (attachment_parts) come along, each
// the bytes it was sent with, under its own name; without, none. A message
// without any text gives the notice "このメールにはtext/plainコンテンツが存在しません.".
// The source message is marked forwarded.
int create_forward(const compose_context& ctx, std::string_view source_message_dir, std::string_view recipient,
                   reporter& report, bool open_editor = true, bool with_attachments = false);

// A sent message as a new draft: a copy of its files with a fresh "Date:"
// line, writable again, with the status of a new draft (attachment on when it
// has a part "2"). The caller picks sent messages and asks first.
int resend_message(const compose_context& ctx, std::string_view source_message_dir, reporter& report,
                   bool open_editor = true);

// The subject a reply starts with: "Re: " and the source subject, whose own
// leading "Re:" (any case) and the blanks after it are dropped first, so that
// replies never stack "Re:"; at most subject_limit bytes.
std::string reply_subject(std::string_view source_subject);

// The subject the reply dialog offers, as reply_subject makes it but in
// UTF-8 with every character as the source message was sent: one CP932
// lacks stays in view, and the dialog names it when the subject is taken,
// rather than turning it into "？" unseen.
std::string offered_reply_subject(std::string_view source_message_dir);

// Whether replying to all adds anyone: the source message's To has a second
// address, or its Cc has one.
bool reply_to_all_possible(std::string_view source_message_dir);

// Appends every line of `text` (CP932, line feeds) to the destination with
// the prefix in front, then one line feed. No line written is longer than a message line
// (1000 bytes): a longer one continues on further prefixed lines, so nothing
// of it is lost.
bool append_quoted(std::string_view destination, std::string_view text, std::string_view prefix);

// Writes the forward's header anew: the From line of the address and name,
// "Subject: Fwd: " and the source subject (without its own leading "Fwd:" or
// "Fw:"), "To: " and the recipient. A failure leaves no file.
bool make_forward_header(std::string_view header_file, std::string_view source_header, std::string_view address,
                         std::string_view name, std::string_view recipient);

// Writes the forward's body anew: the separator, the source header's Date,
// From, Sender, Reply-To, Resent- and X-Mailer fields (any case, in their
// order, with their continuation lines), the separator again, then the
// source's text (CP932, line feeds). A failure leaves no file.
bool make_forward_body(std::string_view body_file, std::string_view source_header, std::string_view text);

}  // namespace qm
