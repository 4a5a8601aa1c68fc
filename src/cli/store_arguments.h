#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_support.h"

namespace qm::cli {

// Arguments that name a place in the store, and the rows printed from it.

// A FOLDER argument: a folder below the mailbox root, an account and any
// sub-folders, each a plain folder name (a name beginning with "." is a
// message, not a folder), with or without a final "/". `folder` gets it in
// CP932 ending with "/"; false with the problem named otherwise.
bool take_folder(const char* argument, std::string& folder, std::string& problem);

// A NUMBER argument: decimal digits, as `list` prints a message's number;
// false with the problem named (after `what`) otherwise.
bool take_number(const char* argument, const char* what, int& number, std::string& problem);

// The message a command names with FOLDER and NUMBER.
struct message_argument {
    std::string folder;     // CP932, relative to the mailbox root, ending with "/"
    int number = -1;        // as `list` prints it
    std::string directory;  // the message directory, once found
};

// Takes FOLDER and NUMBER from the first two operands; false with the
// problem named when one is missing or malformed.
bool take_message(const std::vector<const char*>& operands, message_argument& message, std::string& problem);

// Finds the message in the mailbox (the program context prepared): sets its
// directory, or says (through `voice`) that it is not there and answers
// false.
bool find_message(message_argument& message, const command_voice& voice);

// The whole of a command that names one message and takes no options
// (FOLDER NUMBER): the arguments read, the program context prepared and the
// message found. nullopt when that failed, with the exit code `status` (2
// for a usage error, said through `voice`; 1 when the message is missing).
std::optional<message_argument> message_of_command(int argc, char** argv, const command_voice& voice, int& status);

// One printed row: the CP932 fields TAB-separated in UTF-8, with a line
// feed. A TAB or a line end inside a field (neither can be the second byte
// of a double-byte character) becomes a blank, so that the columns hold; a
// character without a UTF-8 form shows as "?", the rest of the text stays.
std::string terminal_row(const std::vector<std::string>& fields);
// The fields joined as terminal_row joins them, still in CP932, and the
// lines of many such rows as terminal_row would show each.
std::string cp932_row(std::span<const std::string> fields);
std::string terminal_rows(const std::vector<std::string>& rows);

// Writes text to stdout; false when it did not reach it.
bool print(std::string_view text);

}  // namespace qm::cli
