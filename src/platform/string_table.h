#pragma once

#include <string>

#include "string_ids.h"

namespace qm {

// The text of string-table entry `id` as CP932, or "?" when there is no such entry.
const std::string& load_string(int id);

}  // namespace qm
