#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// Creates an empty file with a new name in `directory` (ending with "/")
// from a template holding a run of "$": the run is filled with the lowest
// zero-padded number whose file does not exist yet ("qlm_$$$$.TXT" gives
// qlm_0000.TXT, then qlm_0001.TXT ...). The file is created exclusively, with
// mode 0600. nullopt when the template has no "$" or every name is taken.
std::optional<std::string> create_unique_file(std::string_view directory, std::string_view name_template);

}  // namespace qm
