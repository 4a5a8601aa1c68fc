#pragma once

#include <functional>
#include <string_view>

namespace qm {

// The name of the temporary file a whole-file conversion writes into, in the
// temporary directory.
inline constexpr std::string_view conversion_file_template = "LIB_$$$$.TMP";

// Rewrites a file through a conversion: `convert` reads the file at `source`
// and writes the result to the fresh temporary file at `target`, then the
// result takes the file's place with the file's permissions. False when the
// file cannot be opened, no temporary file can be made, `convert` fails or
// the result cannot replace the file; the file is then exactly as it was.
// The temporary file never remains.
bool convert_file(std::string_view path,
                  const std::function<bool(std::string_view source, std::string_view target)>& convert);

}  // namespace qm
