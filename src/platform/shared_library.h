#pragma once

#include <string>

namespace qm {

// A shared library loaded the first time it is needed instead of at start:
// libcurl and libsecret bring some forty libraries with them, whose loading
// would otherwise cost every run of the programs (a list in the shell
// included) several milliseconds for a sign-in or a keyring that most runs
// never touch.
class shared_library {
public:
    // Loads the library by its shared-object name ("libcurl.so.4").
    // The library stays loaded until the program ends: libraries of GLib's
    // kind keep threads and handlers that an unload would leave dangling.
    explicit shared_library(const char* soname);
    shared_library(const shared_library&) = delete;
    shared_library& operator=(const shared_library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why the library or a function of it could not be had ("" when all went well).
    const std::string& failure() const { return failure_; }

    // Points `function` at the function `name` of the library or of one it
    // brought; false (and the failure noted) when there is none.
    template <typename Function>
    bool bind(Function*& function, const char* name) {
        function = reinterpret_cast<Function*>(address_of(name));
        return function != nullptr;
    }

private:
    void* address_of(const char* name);

    void* handle_ = nullptr;
    std::string failure_;
};

}  // namespace qm
