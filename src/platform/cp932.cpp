#include "platform/cp932.h"

#include <iconv.h>

#include <cerrno>

namespace qm {

namespace {

bool is_ascii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// One converter per direction and thread: iconv_open is costly and a
// converter keeps state, so it may not be shared between threads.
class converter {
public:
    converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~converter() {
        if (handle_ != reinterpret_cast<iconv_t>(-1)) iconv_close(handle_);
    }
    converter(const converter&) = delete;
    converter& operator=(const converter&) = delete;

    std::optional<std::string> convert(std::string_view input) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string output(input.size() * 2 + 8, '\0');
        char* in = const_cast<char*>(input.data());
        std::size_t in_left = input.size();
        std::size_t done = 0;
        for (;;) {
            char* out = output.data() + done;
            std::size_t out_left = output.size() - done;
            std::size_t result = iconv(handle_, &in, &in_left, &out, &out_left);
            done = output.size() - out_left;
            if (result != static_cast<std::size_t>(-1)) break;
            if (errno != E2BIG) return std::nullopt;
            output.resize(output.size() * 2);
        }
        // Flush any shift state; the two character sets here have none, but
        // it costs nothing to be correct.
        for (;;) {
            char* out = output.data() + done;
            std::size_t out_left = output.size() - done;
            std::size_t result = iconv(handle_, nullptr, nullptr, &out, &out_left);
            done = output.size() - out_left;
            if (result != static_cast<std::size_t>(-1)) break;
            if (errno != E2BIG) return std::nullopt;
            output.resize(output.size() * 2);
        }
        output.resize(done);
        return output;
    }

private:
    iconv_t handle_;
};

}  // namespace

std::optional<std::string> cp932_to_utf8(std::string_view text) {
    if (is_ascii(text)) return std::string(text);
    thread_local converter to_utf8("UTF-8", "CP932");
    return to_utf8.convert(text);
}

std::optional<std::string> utf8_to_cp932(std::string_view text) {
    if (is_ascii(text)) return std::string(text);
    thread_local converter to_cp932("CP932", "UTF-8");
    return to_cp932.convert(text);
}

std::string disk_path(std::string_view path) {
    return cp932_to_utf8(path).value_or(std::string());
}

std::optional<std::string> program_name(std::string_view disk_name) {
    auto name = utf8_to_cp932(disk_name);
    // A name whose round trip differs (two UTF-8 spellings of one CP932
    // character, such as WAVE DASH and FULLWIDTH TILDE) could not be found
    // again under the CP932 name; it is left out like a name without a form.
    if (name && !is_ascii(disk_name) && cp932_to_utf8(*name) != disk_name) return std::nullopt;
    return name;
}

}  // namespace qm
