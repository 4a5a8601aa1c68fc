#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The program's directories, as CP932 paths ending with "/".

// The directory that holds the running program (from /proc/self/exe).
std::optional<std::string> executable_directory();

// Whether a program directory is the bin/ of an installed copy: its parent
// holds share/quillmere/. Such a copy never keeps its data beside itself,
// even where the user may write there (root in /usr/bin, a copy installed
// into ~/.local).
bool is_installed_copy(std::string_view program_directory);

// Where the settings, lists and the default mailbox live: $QUILLMERE_HOME
// when set; else the program's own directory when the user may write there
// and it is not an installed copy (a portable install); else
// $XDG_DATA_HOME/quillmere/ (by default ~/.local/share/quillmere/). The
// directory is created when missing.
std::optional<std::string> find_data_directory();

// The temporary directory: the first of TMP_RAM, TMP, TEMP, TMPDIR that is
// set, else /tmp, with "\" turned into "/". When other users may write to it
// (as to /tmp) the program works in its private sub-directory
// "quillmere-<uid>/" (mode 0700), which is refused when it is a symbolic link
// or belongs to another user.
std::optional<std::string> find_temporary_directory();

// The private sub-directory of a shared directory, made or checked as above.
std::optional<std::string> private_subdirectory(std::string_view shared_directory);

// The work directory of a data directory: where downloads wait to be filed
// and outgoing mail is prepared. Downloads received with "POP remove" on may
// be the only copy of a message until they are filed, so it lies in the
// data directory, not among the temporary files a system empties at boot.
inline constexpr std::string_view work_directory_name = "work/";
std::string work_directory_in(std::string_view data_directory);

}  // namespace qm
