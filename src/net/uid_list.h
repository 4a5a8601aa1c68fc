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
// name: a line of the receive's note "<n>.ids" in the work directory
// (platform/work_directory.h) gives the download's number and the id, the
// note's first line the list. A whole receive writes the list and drops its
// note; a receive cut short (a crash, a kill, a lost connection) folds its
// note into the list, or leaves it to the next one, which folds it in before
// it asks the server anything. So a message whose download file is whole is
// never fetched twice.

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

// Gives every noted download that is whole its name, adds the noted ids
// that a list lacks to it, and removes the notes whose ids are in their
// list; notes of both forms ("<n>.ids", and "<n>.uid" as earlier versions
// wrote them). A note for a list whose directory is gone is dropped. False
// when a list could not be read or rewritten: its notes stay for the next
// try.
bool fold_received_ids(std::string_view work_directory);

}  // namespace qm
