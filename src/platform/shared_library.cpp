#include "platform/shared_library.h"

#include <dlfcn.h>

namespace qm {

shared_library::shared_library(const char* soname) {
    handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        failure_ = why ? why : std::string(soname) + ": cannot be loaded";
    }
}

void* shared_library::address_of(const char* name) {
    if (handle_ == nullptr) return nullptr;
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    if (address == nullptr && failure_.empty()) failure_ = std::string(name) + ": not in the library";
    return address;
}

}  // namespace qm
