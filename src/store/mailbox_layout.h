#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "message/part_file.h"

namespace qm {

// An account directory (mailbox + account name + "/") holds five special
// folders. Those directly in the account directory begin with a blank.
enum class special_folder { inbox, outbox, drafts, sent, trash };

// The folder's path below the account directory, ending with "/"
// (" 受信箱/", " 送信箱/草稿/" ...).
std::string special_folder_path(special_folder folder);

// The folder inside an account directory.
std::string special_folder_in(std::string_view account_root, special_folder folder);

// Which special folder `folder` (a full path ending with "/") is, judged by
// its exact path below the account directory.
std::optional<special_folder> which_special_folder(std::string_view account_root, std::string_view folder);

// Whether the kind is one of the four fixed mail folders (inbox, outbox,
// drafts, sent): no folder is made in them or moved into them.
bool is_mail_folder(std::optional<special_folder> kind);

// Whether `folder` (a full path ending with "/") is the account's trash or
// lies below it.
bool lies_in_trash(std::string_view account_root, std::string_view folder);

// Makes the account's special folders in their order: trash, inbox, outbox,
// drafts, sent. Folders that exist already are kept.
bool make_special_folders(std::string_view account_root);

// A message directory is named "." and its number as "%d" writes it (".0",
// ".12": no sign, no leading zero); every other name is something else.
std::string message_dir_name(int number);
// The number a message directory name stands for; nullopt for any other
// name, and for a number beyond what an int holds.
std::optional<int> message_number_of(std::string_view name);
// A message directory: folder + "." + number + "/".
std::string message_directory(std::string_view folder, int number);


// Where the free message numbers of folders begin, for one run that adds
// many messages (filing, arranging): each folder is listed once, and the
// next message takes the number after the last one handed out, or one the
// run itself gave back.
class message_numbering {
public:
    // The first number worth trying in `folder`.
    int first_candidate(std::string_view folder);
    void taken(std::string_view folder, int number);
    // A message directory made in this run was removed again: its number is
    // free for the next message.
    void released(std::string_view folder, int number);

private:
    std::map<std::string, int, std::less<>> next_;
};

// The lowest number n for which no ".n" is in the folder; 0 for a folder
// that cannot be listed.
int lowest_free_message_number(std::string_view folder);

// Makes the message directory with the lowest free number in `folder` and
// returns the number. With a source directory, its contents move into the
// new message; the caller removes the emptied source. -1 on a failure (the
// caller tells the user); a half-filled new directory is removed again and
// the source keeps whatever was not moved. A run that adds many messages
// passes its `numbering`.
int new_message_directory(std::string_view folder, std::optional<std::string_view> source,
                          message_numbering* numbering = nullptr);

// Moves the whole message directory `source` into `folder` under the lowest
// free number and returns the number: in one rename where the file system
// allows it, so that a crash can never leave the message split between two
// folders; otherwise its files are copied in and the source removed once the
// copy is whole. -1 on a failure (the caller tells the user); the message is
// then where it was.
int move_message_directory(std::string_view source, std::string_view folder,
                           message_numbering* numbering = nullptr);

}  // namespace qm
