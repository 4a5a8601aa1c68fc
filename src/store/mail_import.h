#pragma once

#include <cstdio>
#include <string_view>

namespace qm {

// Mail that comes from files rather than from a server (a message file, an
// mbox) is put into the work directory as download files, with CR LF line
// ends as a server sends them, and filed from there like received mail.
// Each download file appears whole or not at all.

// Whether the file is an mbox: it begins with a "From " line (blank lines
// before it allowed); an empty file counts as an empty mbox. The file is
// read from its start and left at its start.
bool looks_like_mbox(std::FILE* source);

// The whole file as one message (LF or CR LF line ends) into one download
// file. False when it cannot be read or written; nothing is left then.
bool copy_message_to_downloads(std::FILE* source, std::string_view work_directory);

struct mbox_copy {
    int copied = 0;       // messages that became download files
    bool failed = false;  // the rest of the mbox, from the message that failed on, was not copied
};

// Every message of an mbox into a download file each. A message runs from
// the line after its "From " line to the next one; the blank line before a
// "From " line (and at the end of the file) belongs to the mbox, not to the
// message, and ">From " at a line start stands for "From ". A message with
// nothing in it is dropped.
mbox_copy copy_mbox_to_downloads(std::FILE* source, std::string_view work_directory);

}  // namespace qm
