#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A settings file written whole with its defaults on the first start.
struct profile_default {
    std::string_view section;
    std::string_view key;
    std::string value;
};

// The file's text (line feeds) as writing the values one by one, in this
// order, into a missing file would leave it: each section where its first
// value comes, its keys in order.
std::string default_profile_text(const std::vector<profile_default>& values);

// Creates `path` holding the values, in one step: the text goes into the
// "$$$" companion, which takes the file's name only when it is complete and
// only when no file of that name has appeared meanwhile. An existing file is
// left alone (true). False when the file cannot be written; nothing is left
// behind then.
bool write_default_profile(std::string_view path, const std::vector<profile_default>& values);

}  // namespace qm
