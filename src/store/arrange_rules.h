#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

namespace qm {

// Arrange rules: "if header field X contains the text K, the message belongs
// in folder F". Each folder keeps the rules that bring mail into it in its
// "arrange.lst", one item per rule named "X:K", in byte order of the names.

inline constexpr std::string_view arrange_list_name = "arrange.lst";

struct arrange_rule {
    std::string header;   // everything before the first ":" of the rule text
    std::string keyword;  // everything after it (empty when there is no ":")
};

// The rule text stored for a rule: "header:keyword".
std::string rule_text(std::string_view header, std::string_view keyword);
// A rule text taken apart at its first ":".
arrange_rule parse_rule_text(std::string_view text);

// Whether the rule can be stored: its text "header:keyword" fits one list
// line (header and keyword together at most 252 bytes) and holds no line
// feed. add_rule and replace_rule refuse any other.
bool rule_storable(std::string_view header, std::string_view keyword);

// The rules of a folder (its path ends with "/"), in file order; none when
// it has no "arrange.lst".
std::vector<arrange_rule> list_rules(std::string_view folder);

// Whether the folder holds a rule of exactly this text (with case).
bool rule_exists(std::string_view folder, std::string_view header, std::string_view keyword);

// Puts the rule at its sorted place, creating "arrange.lst" when missing. A
// rule that exists already is kept as it is (true). False, with the list as
// it was, when the file cannot be rewritten or the rule text cannot be stored
// as one list line.
bool add_rule(std::string_view folder, std::string_view header, std::string_view keyword);

// Removes the rule; the folder's "arrange.lst" goes with its last rule. False
// when there was no such rule or the list could not be rewritten.
bool delete_rule(std::string_view folder, std::string_view header, std::string_view keyword);

// Edits a rule of the folder: the new rule is added first and the old one
// removed only then, so that a failure never loses the rule (both stay when
// only the removal failed). False when the old rule is not there or a write
// failed.
bool replace_rule(std::string_view folder, std::string_view old_header, std::string_view old_keyword,
                  std::string_view new_header, std::string_view new_keyword);

// Sorts the messages of `folder`: each goes to the folder of the first rule,
// among the rules of every folder below `rule_root` (itself included), that
// matches a line of its header file "0". Folders are visited in byte order
// of their names; a message that matches no rule, or first a rule of
// `folder` itself, stays. Both paths end with
// "/". A failed move is reported and the message stays.
void arrange_run(std::string_view folder, std::string_view rule_root, reporter& report);

}  // namespace qm
