#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The store's file and directory steps, on CP932 paths with "/" separators.
// Each returns whether it succeeded; a failure leaves what was done before in
// place.

bool path_exists(std::string_view path);
// Size in bytes; -1 when the file does not exist.
std::int64_t file_size(std::string_view path);

// A trailing "/" or "\" is ignored by the directory steps.
bool make_directory(std::string_view path);
bool directory_exists(std::string_view path);
// Number of sub-directories ("." and ".." not counted); -1 when the
// directory cannot be listed.
int count_subdirectories(std::string_view path);
bool remove_directory(std::string_view path);

// Renames a file or directory. Never replaces an existing target: the
// rename then fails.
bool rename_path(std::string_view from, std::string_view to);

// Deletes a file; with `to_trash` it goes to the user's trash instead.
bool delete_file(std::string_view path, bool to_trash = false);

// Copies a file with its permissions and last-write time, replacing an
// existing target (which with `replace` first goes to the trash). The
// target appears whole or not at all.
bool copy_file(std::string_view source, std::string_view target, bool replace);

// Creates or truncates the file and writes the text in text mode; on a
// failure the file is deleted.
bool write_text_file(std::string_view path, std::string_view text);
// Appends the text in text mode.
bool append_text(std::string_view path, std::string_view text);
// Makes the file end with a line feed: an empty file gets one; a file whose
// last byte is not a line feed gets one, replacing a final Ctrl-Z.
bool ensure_final_newline(std::string_view path);

// Flushing to the disk, for what must survive a crash or a power cut before
// the next step (a server deleting its copy, a download file going): every
// file and directory entry of the file system that holds `path` (one pass,
// however many files were written), or the entries of one directory (after
// a rename in it).
bool flush_file_system(std::string_view path);

// The path without trailing "/" and "\" (a lone "/" stays).
std::string trimmed_path(std::string_view path);

// The path with one "/" at its end, as the store names directories ("/"
// alone for an empty path).
std::string with_final_slash(std::string_view path);

}  // namespace qm
