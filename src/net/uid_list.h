#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "net/result_codes.h"

namespace qm {

// The UID list of an account ("uid.lst"): the unique ids of the messages
// the server held at the last receive and of every message fetched since,
// one a line; a receive does not fetch them again.
//
// A fetched message is recorded at once, before its download file takes its
// name: "<n>.uid" beside the download "<n>.pop" (platform/work_directory.h)
// names the list and the id. The end of a receive folds these notes into
// their lists; a receive cut short (a crash, a kill, a lost connection)
// leaves them to the next one, which folds them in before it asks the
// server anything. So a message whose download file is whole is never
// fetched twice.

// A line of the list as it is compared: cut at its first carriage return,
// which becomes a line feed.
std::string uid_list_line(std::string_view text);
// An id from a reply in the same form, always ending in a line feed (also
// when the reply line was cut), so that a list keeps one id a line.
std::string comparable_id(std::string_view text);

// The ids of a list, read once per receive.
struct known_ids {
    bool present = false;  // the account has a list
    std::unordered_set<std::string> ids;

    bool contains(const std::string& id) const { return present && ids.contains(id); }
};

// Reads the list in its line pieces of at most 252 characters (CR LF and
// bare LF alike). A missing list is no error; one that exists but cannot be
// read is (10): taking it for empty would fetch every message again.
net_result load_uid_list(std::string_view path, known_ids& known);

// Replaces the list with `ids` (comparable ids) in one step, through its
// companion; false, with the old list as it was, on a failure.
bool write_uid_list(std::string_view path, const std::vector<std::string>& ids);

// Records that the download numbered `number` of the work directory is the
// message `id` (a comparable id) of the list at `list_path`. Called once the
// download is whole and before it takes its name.
bool note_received_id(std::string_view work_directory, std::uint64_t number, std::string_view list_path,
                      std::string_view id);

// Gives every noted download that is whole its name, adds the noted ids
// that a list lacks to it, and removes the notes whose ids are in their
// list. A note for a list whose directory is gone is dropped. False when a
// list could not be read or rewritten: its notes stay for the next try.
bool fold_received_ids(std::string_view work_directory);

}  // namespace qm
