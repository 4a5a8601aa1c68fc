#pragma once
// Helpers shared by the text tests.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/program_context.h"
#include "support/test_support.h"

namespace qm::test {

inline const std::string q = "\x81\x48";  // the full-width question mark, CP932's replacement

// The result of an in-place conversion applied to a copy of `text`.
template <typename Convert, typename... Args>
std::string applied(Convert convert, std::string text, Args... args) {
    convert(text, args...);
    return text;
}

// The text with every line feed turned into CR LF, as files hold it.
inline std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

inline unsigned mode_of(const std::string& utf8_path) {
    struct stat status {};
    return ::stat(utf8_path.c_str(), &status) == 0 ? status.st_mode & 07777 : ~0u;
}

inline void use_temporary_directory(const std::string& cp932_path) {
    program_context context;
    context.temporary_directory = cp932_path;
    set_context(context);
}

// A test directory whose "tmp/" is the program's temporary directory; whole-file
// conversions must leave nothing behind there.
class temporary_directory_test : public ::testing::Test {
protected:
    void SetUp() override {
        use_temporary_directory(dir.cp("tmp/"));
        write_bytes(dir / "tmp/.keep", "");
    }
    void expect_clean() const { EXPECT_EQ(list_names(dir / "tmp"), std::vector<std::string>{".keep"}); }
    temp_dir dir;
};

}  // namespace qm::test
