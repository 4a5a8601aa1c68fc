#pragma once

#include <string>
#include <string_view>

namespace qm {

// Whether another program holds a file of the draft open (the text editor
// the user writes it in), judged by its header "0" and body "1". A draft in
// use is not moved: its editor would go on saving into a directory that is
// gone, and the user's text would be lost.
//
// Linux lets a file be renamed and moved while it is open, so the test is a
// write lease (fcntl F_SETLEASE, F_WRLCK): the kernel refuses it with EAGAIN
// while any other open file description refers to the file. The lease is
// given back at once. A missing file holds nothing open; a file system
// without leases (EINVAL) or a file the lease is not allowed on (EACCES)
// counts as not in use, as nothing better can be known there.
bool is_draft_in_use(std::string_view message_dir);

// The same test for one file.
bool is_file_open_elsewhere(std::string_view path);
// And for a file by its name on the system (UTF-8).
bool is_system_file_open_elsewhere(const std::string& system_path);

}  // namespace qm
