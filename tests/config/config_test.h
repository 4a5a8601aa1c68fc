#pragma once

#include "config/profile.h"
#include "platform/program_context.h"
#include "support/test_support.h"

namespace qm::test {

// One file in a fresh directory; texts given and compared with line feeds.
class file_test : public ::testing::Test {
protected:
    explicit file_test(const char* name) : file(dir / name), path(dir.cp(name)) {}
    void given(std::string_view lf_text) { write_bytes(file, crlf(lf_text)); }
    std::string contents() const { return read_bytes(file); }

    temp_dir dir;
    std::string file, path;  // UTF-8; the program's form
};

// A fresh directory as the data, temporary and program directories, holding `file`.
class data_directory_test : public file_test {
protected:
    explicit data_directory_test(const char* name) : file_test(name) { set_context({dir.cp(), dir.cp(), dir.cp(), dir.cp()}); }

private:
    const saved_context saved_;
};

}  // namespace qm::test
