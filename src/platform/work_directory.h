#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_handle.h"

namespace qm {

// The work directory (data directory + "work/", platform/directories.h) is where the
// jobs and the store hand mail to each other, and nothing else keeps files
// there:
// - "<n>.pop": a message as a receive job (or an import) downloaded it, with
//   the server's CR LF line ends, waiting to be filed; "download.owner"
//   names the account directory it was received for;
// - "<n>.smt": a queued message in its wire form, "<n>.env" its envelope
//   (the sender, then one recipient a line), "<n>.ref" the scratch copy of
//   its header the envelope is read from, "prepared.lst" the message
//   directories of the outbox one preparation wrote;
// - "<n>.ids": the id notes of one receive whose first download was n: a
//   line that names the UID list, then a line "<download number> <id>" for
//   each download, appended once the download is whole and before it takes
//   its name, so that the "<m>.pop.part" of a noted m is whole too
//   (net/uid_list.h); "<n>.uid", the same for one download (the list and
//   the id on a line each), as earlier versions wrote them;
// - "<n>.filed": the note that download n has been put together, whole, as
//   the message directory it names (store/receive_filing.h), written before
//   that directory takes its number and removed after the download;
// - "draft/": the directory a draft is put together in.
// Download and outgoing files are written under a ".part" name and take
// their own only when complete, so that no job ever meets half a file.
inline constexpr std::string_view download_suffix = ".pop";
inline constexpr std::string_view outgoing_suffix = ".smt";
inline constexpr std::string_view envelope_suffix = ".env";
inline constexpr std::string_view reference_suffix = ".ref";
inline constexpr std::string_view partial_suffix = ".part";
inline constexpr std::string_view prepared_list_name = "prepared.lst";
inline constexpr std::string_view download_owner_name = "download.owner";
inline constexpr std::string_view received_id_suffix = ".uid";
inline constexpr std::string_view received_ids_suffix = ".ids";
inline constexpr std::string_view filing_note_suffix = ".filed";
inline constexpr std::string_view draft_folder_name = "draft/";

// Download files are written through a buffer of this size, so that a
// message is stored as fast as it arrives.
inline constexpr std::size_t download_buffer_size = 64 * 1024;

std::string download_path(std::string_view work_directory, std::uint64_t number);
// The download files of the work directory ("<n>.pop", n decimal), names
// only, in number order.
std::vector<std::string> download_files(std::string_view work_directory);
// The number after the highest download file or note of one, so that files
// an earlier job left are never overwritten and no note is ever taken for
// that of another download.
std::uint64_t next_download_number(std::string_view work_directory);

// An id noted for a download: the UID list it belongs in, and the id as
// the list compares it (ending in a line feed).
struct noted_id {
    std::uint64_t number = 0;
    std::string list_path, id;
};

// The id notes of the work directory ("<n>.ids" and "<n>.uid"), names only,
// in number order, without the ones a receive of this process is still
// writing: only their writer acts on those.
std::vector<std::string> received_id_notes(std::string_view work_directory);
// The whole entries of a note (either form): a line that a kill cut short,
// or that is not of the note's form, is none. False when the note cannot be
// read or names no list.
bool read_received_id_note(std::string_view path, std::vector<noted_id>& entries);
// Gives each partial download file whose id is noted its name: it is whole.
void complete_noted_downloads(std::string_view work_directory);

// The "<n>.ids" note of one receive, made with its first entry and
// appended to, one write a download: each entry is in the file (as far as
// the system is concerned: a kill of the program cannot lose it; a flush
// before the server deletes anything puts it on the disk) before the
// download takes its name. While it is open, received_id_notes passes it
// by. Closing leaves the file; remove() takes it away once its ids are in
// their list.
class received_id_note {
public:
    received_id_note() = default;
    ~received_id_note() { close(); }
    received_id_note(const received_id_note&) = delete;
    received_id_note& operator=(const received_id_note&) = delete;

    bool append(std::string_view work_directory, std::uint64_t number, std::string_view list_path,
                std::string_view id);
    void close();
    // Closes the note and deletes it; true when there is none left.
    bool remove();
    // The note's path once an entry was tried ("" before).
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    bool failed_ = false;
};

// The outgoing file of an outbox message: ".7" gives work + "7.smt".
std::string outgoing_path(std::string_view work_directory, std::string_view message_dir_name);
// "<n>.env" and "<n>.ref" beside "<n>.smt".
std::string envelope_path(std::string_view outgoing_file);
// The outgoing files in number order; names that are no number come last,
// by name.
std::vector<std::string> outgoing_files(std::string_view work_directory);
// Removes every outgoing and envelope file and the prepared list; the rest
// of the work directory (downloaded mail above all) stays.
void remove_outgoing_files(std::string_view work_directory);
std::string prepared_list_path(std::string_view work_directory);

std::string draft_assembly_path(std::string_view work_directory);

// The account directory the waiting download files were received for, as
// the note beside them says ("" when there is none); noting it replaces the
// note; the note goes once no download file waits.
void note_download_owner(std::string_view work_directory, std::string_view account_root);
std::string download_owner(std::string_view work_directory);
void forget_download_owner_when_filed(std::string_view work_directory);

// Makes the work directory when it is missing.
bool make_work_directory(std::string_view work_directory);
// The work directory at exit: removed with everything in it when it holds no
// download file and no id note; otherwise everything else goes and the
// download files (with the note of their account and their filing notes) and
// the id notes stay for the next round. True when everything that was to go
// went.
bool remove_work_directory_if_done(std::string_view work_directory);

// A file that appears under its name only once it is complete: it is
// written as name + ".part" (made exclusively, mode 0600) and renamed at
// commit, never over an existing file. Dropped unless committed.
class whole_file_writer {
public:
    whole_file_writer() = default;
    ~whole_file_writer() { abandon(); }
    whole_file_writer(const whole_file_writer&) = delete;
    whole_file_writer& operator=(const whole_file_writer&) = delete;

    // False when the partial file cannot be made (it exists already, or the
    // directory refuses).
    bool open(std::string path);
    // Opens the next free download file of the work directory. A run that
    // writes many keeps `next` for them all: the directory is listed only
    // while it is unset, and it is left at the number after the one opened.
    bool open_next_download(std::string_view work_directory, std::optional<std::uint64_t>& next);
    bool open_next_download(std::string_view work_directory);
    bool is_open() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    bool write(std::string_view bytes);
    // Closes the file, which keeps its partial name; false when a write
    // failed.
    bool finish();
    // Closes the file and gives it its name; false, with nothing left, when
    // a write failed or the name is taken.
    bool commit();
    // Closes and removes the partial file.
    void abandon();

private:
    std::string path_;
    std::string buffer_;  // download_buffer_size at most, written out whole
    int fd_ = -1;
    bool ok_ = true;
};

}  // namespace qm
