#pragma once

#include <string_view>

namespace qm {

// Writes `bytes` as the file `path` in one step: they go into a new file
// beside it, which takes the name only when everything was written, so that
// the file appears whole or not at all. On a failure no new file is left and
// a file already at `path` stays as it was. Without `replace` an existing
// file at `path` is never replaced (the write fails), even one that appears
// while the bytes are written.
bool write_file_in_one_step(std::string_view path, std::string_view bytes, bool replace = true);

}  // namespace qm
