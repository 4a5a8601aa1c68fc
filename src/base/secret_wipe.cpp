#include "base/secret_wipe.h"

#include <cstring>

namespace qm {

void wipe_secret(void* data, std::size_t size) {
    if (data != nullptr && size > 0) explicit_bzero(data, size);
}

void wipe_password(std::string& text) {
    wipe_secret(text.data(), text.size());
    // Filled back with '*' through a volatile pointer: an empty-looking
    // password with its length kept is what the jobs and their traces expect.
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = '*';
}

}  // namespace qm
