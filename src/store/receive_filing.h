#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

namespace qm {

// A receive job leaves each downloaded message in the work directory as a
// download file "<n>.pop" (the message as the server sent it, CR LF line
// ends); filing turns each into a message directory of the account's inbox.

inline constexpr std::string_view download_suffix = ".pop";
// The scratch copy of the message being filed, kept in the message as "raw".
inline constexpr std::string_view raw_copy_name = "raw";

// The names of the download files in the work directory, in number order.
std::vector<std::string> download_files(std::string_view work_directory);

// Files every download file of the work directory into the inbox of the
// account (its directory ends with "/"), lowest number first, also when
// lower numbers are missing. Each becomes a new message with its decoded
// header and parts (files "0" and "1" read-only), the status of a new message
// and the download file as "raw". The number of download files handled (0
// when there were none), or -1 when any of them could not be filed: such a
// download file stays in the work directory under its name, the half-made
// message directory is removed again, and filing goes on with the next file.
// File errors are reported as they happen.
int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report);

}  // namespace qm
