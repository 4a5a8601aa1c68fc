#pragma once

#include <string_view>

namespace qm {

// Operations on whole directory trees. Directory paths end with "/". Each
// stops at its first failure and says so; what was done before stays done.

// Copies every entry of `source` into the existing directory `target`;
// sub-directories keep their read-only mark. Existing files are replaced.
bool copy_tree(std::string_view source, std::string_view target);

// Deletes everything below `path`, leaving the directory itself.
bool empty_tree(std::string_view path);

// Moves every entry of `source` into the existing directory `target`: by
// renaming, or across file systems by copying the tree and then emptying the
// source. True when everything is in the target. On a failure the source is
// whole again (renamed entries are put back, a copy is only removed once it
// is complete); a source that cannot be emptied after a whole copy keeps its
// remnants, so that the caller's removal of it fails.
bool move_contents(std::string_view source, std::string_view target);

// Deletes the directory with everything in it, or moves it to the trash.
bool delete_tree(std::string_view path, bool to_trash);

// Moves a directory to `target`, which must not exist (with `replace` an
// existing target first goes to the trash). Across file systems the tree is
// copied and the source removed only after the copy is whole.
bool move_directory(std::string_view source, std::string_view target, bool replace);

}  // namespace qm
