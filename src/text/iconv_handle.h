#pragma once

#include <iconv.h>

namespace qm {

// An iconv converter that closes itself. A converter keeps shift state, so
// one object is never shared between threads.
class iconv_handle {
public:
    iconv_handle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~iconv_handle() {
        if (is_open()) iconv_close(handle_);
    }
    iconv_handle(const iconv_handle&) = delete;
    iconv_handle& operator=(const iconv_handle&) = delete;

    bool is_open() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

}  // namespace qm
