#pragma once

#include <filesystem>
#include <regex>

#include "config/settings.h"
#include "message/message_fixture.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"

namespace qm::test {

inline const std::string file_error = "ファイルの読み書きに失敗しました.";

// The text with each fresh "Date:" value (the time of writing) as "*".
inline std::string date_marked(const std::string& text) {
    static const std::regex date(R"(Date: [A-Z][a-z]{2}, \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4})");
    return std::regex_replace(text, date, "Date: *");
}

// A status file that holds only the type.
inline std::string type_status(char type) { return std::string("[mail status]\r\ntype=") + type + "\r\n"; }

// A message directory (UTF-8 path ending with "/"): its numbered files, empty ones left out, and a
// status file when `status` is given.
inline void write_message(const std::string& utf8_dir, const std::vector<std::string>& files,
                          std::string_view status = "") {
    std::filesystem::create_directories(utf8_dir);
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!files[i].empty()) write_bytes(utf8_dir + std::to_string(i), files[i]);
    if (!status.empty()) write_bytes(utf8_dir + "status.ini", status);
}

// A temporary data directory as the program context, with the work directory "work/" and the
// account "acct" and its special folders in it. Context and settings are restored afterwards.
class store_test : public ::testing::Test {
protected:
    store_test() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(make_directory(dir.cp("work/")) && make_directory(account) && make_special_folders(account));
    }
    // A path below the account, UTF-8 and program form.
    std::string at(std::string_view relative) const { return dir / ("acct/" + std::string(relative)); }
    std::string cp(std::string_view relative) const { return sj(at(relative)); }
    // A message ".<number>" of a folder below the account, with this type.
    void message(const std::string& folder, int number, char type,
                 const std::vector<std::string>& files = {"Subject: s\r\n", "\r\nbody\r\n"}) const {
        write_message(at(folder + "." + std::to_string(number) + "/"), files, type_status(type));
    }

    temp_dir dir;
    const std::string account = dir.cp("acct/");
    const saved_context saved;
    recording_reporter report;
};

}  // namespace qm::test
