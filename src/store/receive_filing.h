#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

namespace qm {

// A receive job leaves each downloaded message in the work directory as a
// download file "<n>.pop" (the message as the server sent it, CR LF line
// ends); filing turns each into a message directory of the account's inbox,
// which keeps the download as "raw".
//
// A message is put together in the staging directory ".receiving-<n>" of
// the inbox (no message number, so the mail list and every folder operation
// pass it by), flushed to the disk and only then renamed to its number; the
// download file, never changed, goes after that, so that a filing cut short
// at any point neither loses the message nor files it twice (the note
// "<n>.filed" in the work directory bridges the rename and the removal: it
// names the staging directory, is flushed with it, and counts once that
// directory is gone). The notes of a batch are one file under every
// download's note name, naming each staging directory on a line of its own.
// A staging directory left behind is built afresh by the next filing of its
// download.
inline constexpr std::string_view raw_copy_name = "raw";
inline constexpr std::string_view staging_prefix = ".receiving-";
// Downloads are filed in batches of this many, each flushed to the disk in
// one pass: a flush costs about as much for one message as for many. Each
// file of a message is written once, whole, from memory; the staging
// directory is what keeps it from being seen before it is complete.
inline constexpr std::size_t filing_batch_size = 50;
// Where a download that cannot be filed at all goes, whole, in the data
// directory (see import_downloaded_messages).
inline constexpr std::string_view unfiled_folder_name = "unfiled/";

// Files every download file of the work directory into the inbox of the
// account (its directory ends with "/"), lowest number first, also when
// lower numbers are missing. Each becomes a new message with its decoded
// header and parts (files "0" and "1" read-only), the status of a new message
// and the download file as "raw"; a batch's messages are put together on two
// threads, and take their numbers in download order. Downloads that appear
// while it runs (a receive still under way) wait for the next call. The
// number of download files handled (0 when there were none), or -1 when any
// of them could not be filed: such a download file stays in the work
// directory under its name, untouched, the half-made message is removed
// again, and filing goes on with the next file.
// File errors are reported, in download order, naming the file. A download
// that needs more memory than the program may have is moved whole into
// "unfiled/" of the data directory and told by its new name, so that it
// stops nothing after it (-1 as well).
int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report);

struct filing_outcome {
    int filed = 0;         // messages that reached the inbox
    bool problem = false;  // a download could not be filed and still waits
};

// Files the waiting downloads into the account's inbox and, when any arrived
// and `arrange` is set ("arrange at receive"), sorts the inbox with the
// rules of every folder of the account.
filing_outcome file_downloads(std::string_view work_directory, std::string_view account_root, bool arrange,
                              reporter& report);

struct leftover_outcome {
    int filed = 0;         // messages that reached an inbox
    int filed_here = 0;    // of them, filed into `account_root`
    bool problem = false;  // some could not be filed
    bool blocked = false;  // those of another account still wait: nothing new may join them
};

// Before a run adds downloads of its own: the ones an earlier run left are
// filed into the account they were received for (the note beside them,
// while that account still has an inbox), else into `account_root`.
leftover_outcome file_leftover_downloads(std::string_view work_directory, std::string_view account_root,
                                         bool arrange, reporter& report);

}  // namespace qm
