#pragma once

#include <cstddef>
#include <string>

namespace qm {

// The one way this program overwrites a password, a login token or anything
// derived from them before the memory is given back: explicit_bzero, which
// the optimiser may not drop as a dead store, also right before a free.
void wipe_secret(void* data, std::size_t size);

// Overwrites the text's bytes with '*' the same way (the length stays, so
// that a caller that clears it afterwards still sees a wiped buffer).
void wipe_password(std::string& text);

}  // namespace qm
