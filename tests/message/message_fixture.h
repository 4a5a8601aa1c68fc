#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "support/test_support.h"

namespace qm::test {

// UTF-8 text with "\n" as the store keeps it (CP932, CR LF).
inline std::string stored(std::string_view utf8) { return crlf(sj(utf8)); }

// The bytes 0, 1, 2 ... up to count - 1.
inline std::string bytes_from_zero(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += static_cast<char>(i);
    return out;
}

// Every file of a directory (UTF-8, ending with "/") by name, with its bytes.
inline std::map<std::string, std::string> files_in(const std::string& directory) {
    std::map<std::string, std::string> files;
    for (const std::string& name : list_names(directory)) files[name] = read_bytes(directory + name);
    return files;
}

// Files a message (its bytes as downloaded) as filing does: its text read,
// its header unfolded and split into the files of a message directory, each
// stored with CR LF line ends into `directory` (UTF-8, ending with "/").
// The number of the last part.
inline int file_message(const std::string& message, const std::string& directory) {
    std::string text = message_text_of(message);
    unfold_header_text(text);
    split_files split = split_message_text(text);
    for (std::size_t n = 0; n < split.files.size(); ++n) write_bytes(directory + std::to_string(n), crlf(split.files[n]));
    return split.last_part;
}

// tests/data/, with the sample mail and the python3 readers.
inline const std::string test_data = std::string(QUILLMERE_TEST_DATA) + "/";

// What the python3 script (below tests/data) prints for the file (and a further argument); it must end
// with exit code 0.
inline std::string python_output(const std::string& script, const std::string& file, const std::string& argument = "") {
    std::string command = "python3 '" + test_data + script + "' '" + file + "' " + argument, output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char block[4096];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, n);
        EXPECT_EQ(::pclose(pipe), 0) << command;
    }
    return output;
}

}  // namespace qm::test

// A test that reads back with python3 fails without it in CI, and is skipped elsewhere.
#define QM_REQUIRE_PYTHON3()                                                                       \
    if (std::system("python3 -c pass >/dev/null 2>&1") != 0) {                                     \
        if (in_ci()) FAIL() << "python3 is missing";                                               \
        GTEST_SKIP() << "python3 is missing";                                                      \
    }
