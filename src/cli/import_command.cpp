#include "cli/import_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/terminal_reporter.h"
#include "config/profile.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/text_file.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/receive_filing.h"
#include "store/send_receive.h"

namespace qm::cli {

namespace {

const command_voice voice{"import", import_syntax};
constexpr std::size_t copy_block = 65536;
constexpr std::string_view mbox_separator = "From ";
constexpr std::string_view quoted_separator = ">From ";

struct message_source {
    std::string path;  // as given on the command line
    bool mbox = false;
};

struct import_arguments {
    std::string account;  // CP932
    std::vector<message_source> sources;
};

bool parse_arguments(int argc, char** argv, import_arguments& arguments, std::string& problem) {
    bool have_account = false;
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.is("--mbox")) {
            const char* mbox = reader.value();
            if (!mbox) {
                problem = "--mbox needs a file";
                return false;
            }
            arguments.sources.push_back({mbox, true});
        } else if (reader.is_option()) {
            problem = unknown_option(reader.current());
            return false;
        } else if (!have_account) {
            if (!take_account(reader.current(), valid_account_name, arguments.account, problem)) return false;
            have_account = true;
        } else {
            arguments.sources.push_back({reader.current(), false});
        }
    }
    if (!have_account) {
        problem = "no account given";
        return false;
    }
    if (arguments.sources.empty()) {
        problem = "no message file given";
        return false;
    }
    return true;
}

bool is_blank_line(std::string_view line) { return line == "\n" || line == "\r\n"; }

// Reads a file line by line, each line with its line feed, however long.
class line_source {
public:
    explicit line_source(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~line_source() {
        std::free(buffer_);
        if (file_) std::fclose(file_);
    }
    line_source(const line_source&) = delete;
    line_source& operator=(const line_source&) = delete;

    bool is_open() const { return file_ != nullptr; }
    bool next(std::string_view& line) {
        ssize_t length = ::getline(&buffer_, &capacity_, file_);
        if (length < 0) return false;
        line = std::string_view(buffer_, static_cast<std::size_t>(length));
        return true;
    }
    bool failed() const { return std::ferror(file_) != 0; }

private:
    std::FILE* file_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
};

// An mbox begins with its first "From " line; blank lines before it are
// allowed, and so is an empty file.
bool looks_like_mbox(const std::string& path) {
    line_source source(path);
    std::string_view line;
    while (source.next(line)) {
        if (!is_blank_line(line)) return line.starts_with(mbox_separator);
    }
    return true;
}

bool check_source(const message_source& source, std::string& problem) {
    struct stat status;
    if (::stat(source.path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "no such file: " + source.path;
        return false;
    }
    std::FILE* file = std::fopen(source.path.c_str(), "rb");
    if (!file) {
        problem = "cannot read " + source.path;
        return false;
    }
    std::fclose(file);
    if (source.mbox && !looks_like_mbox(source.path)) {
        problem = source.path + " is not an mbox (it does not begin with a \"From \" line)";
        return false;
    }
    return true;
}

// Puts messages into the work directory as download files, numbered after
// the highest one there and never over an existing one (a file that failed
// earlier waits there to be filed), with their line ends made CR LF as a
// server sends them.
class download_writer {
public:
    explicit download_writer(std::string work_directory) : work_(std::move(work_directory)) {
        std::vector<std::string> existing = download_files(work_);
        if (!existing.empty()) next_ = std::strtoull(existing.back().c_str(), nullptr, 10) + 1;
    }

    bool begin() {
        for (;;) {
            path_ = work_ + std::to_string(next_++) + std::string(download_suffix);
            // Written under another name and given the download name only
            // once whole: a run that is killed half-way leaves no cut message
            // for the next run to file.
            part_ = path_ + std::string(part_suffix);
            if (path_exists(path_)) continue;
            std::string disk = disk_path(part_);
            int fd = ::open(disk.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) return false;
            file_.reset(::fdopen(fd, "wb"));
            if (!file_) {
                ::close(fd);
                ::unlink(disk.c_str());
                return false;
            }
            ok_ = true;
            last_was_cr_ = false;
            return true;
        }
    }

    void write(std::string_view bytes) {
        converted_.clear();
        for (char c : bytes) {
            if (c == '\n' && !last_was_cr_) converted_.push_back('\r');
            converted_.push_back(c);
            last_was_cr_ = c == '\r';
        }
        if (ok_ && std::fwrite(converted_.data(), 1, converted_.size(), file_.get()) != converted_.size()) ok_ = false;
    }

    // Closes the file; a file that did not reach the disk whole is removed.
    bool finish(bool source_ok) {
        bool ok = close_checked(file_) && ok_ && source_ok && rename_path(part_, path_);
        if (!ok) ::unlink(disk_path(part_).c_str());
        return ok;
    }

private:
    static constexpr std::string_view part_suffix = ".part";

    std::string work_;
    unsigned long long next_ = 0;
    std::string path_;
    std::string part_;
    file_handle file_;
    std::string converted_;
    bool ok_ = true;
    bool last_was_cr_ = false;
};

// One message file into one download file; the number of messages that
// could not be copied (0 or 1).
int copy_message_file(const std::string& path, download_writer& writer) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file || !writer.begin()) {
        if (file) std::fclose(file);
        voice.complain("cannot copy " + path + " into the work directory");
        return 1;
    }
    std::string block(copy_block, '\0');
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), file)) > 0) writer.write(std::string_view(block.data(), n));
    bool read_ok = std::ferror(file) == 0;
    std::fclose(file);
    if (!writer.finish(read_ok)) {
        voice.complain("cannot copy " + path + " into the work directory");
        return 1;
    }
    return 0;
}

// Every message of an mbox into a download file each. A message runs from
// the line after its "From " line to the next one; the blank line that
// stands before a "From " line (and at the end of the file) belongs to the
// mbox, not to the message, and ">From " at a line start stands for "From ".
// The number of messages that could not be copied: at a failure the rest of
// the mbox is left, and counted as one.
int copy_mbox(const std::string& path, download_writer& writer) {
    line_source source(path);
    bool ok = source.is_open();
    bool writing = false;  // a download file is open
    bool has_content = false;
    std::string held_blank;
    int copied = 0;
    // A message with nothing in it is dropped.
    auto end_message = [&]() {
        if (!writing) return true;
        writing = false;
        if (!has_content) {
            writer.finish(false);
            return true;
        }
        if (!writer.finish(true)) return false;
        ++copied;
        return true;
    };
    std::string_view line;
    while (ok && source.next(line)) {
        if (line.starts_with(mbox_separator)) {
            ok = end_message() && writer.begin();
            writing = ok;
            has_content = false;
            held_blank.clear();
        } else if (writing) {
            if (!held_blank.empty()) {
                writer.write(held_blank);
                held_blank.clear();
                has_content = true;
            }
            if (is_blank_line(line)) {
                held_blank = line;
            } else {
                if (line.starts_with(quoted_separator)) line.remove_prefix(1);
                writer.write(line);
                has_content = true;
            }
        }
    }
    if (ok && source.failed()) ok = false;
    if (!ok && writing) {
        writing = false;
        writer.finish(false);
    }
    ok = end_message() && ok;
    if (!ok) {
        voice.complain("cannot copy the messages of " + path + " after the first " + std::to_string(copied) +
                 " into the work directory");
        return 1;
    }
    return 0;
}

// The account directory with its special folders, made when missing.
bool prepare_account(const std::string& mailbox, const std::string& account_root) {
    if (!directory_exists(mailbox) && !make_directory(mailbox)) return false;
    if (!directory_exists(account_root) && !make_directory(account_root)) return false;
    return make_special_folders(account_root);
}

// The account an earlier round received the waiting download files for (the
// note it leaves beside them), when it still has an inbox; empty otherwise.
std::string waiting_mail_owner(const std::string& work) {
    text_reader reader(work + std::string(download_owner_name));
    std::string root;
    if (!reader.is_open() || !reader.read_line(root) || root.empty() || root.back() != '/') return {};
    return directory_exists(special_folder_in(root, special_folder::inbox)) ? root : std::string();
}

// Files every waiting download file into the account's inbox and arranges it
// when mail came and "arrange at receive" is on; how many were filed.
// `result` is import_downloaded_messages's.
std::size_t file_waiting_mail(const std::string& work, const std::string& account_root, bool arrange,
                              reporter& report, int& result) {
    std::size_t waiting = download_files(work).size();
    result = import_downloaded_messages(work, account_root, report);
    std::size_t left = download_files(work).size();
    if (result > 0 && arrange) {
        arrange_run(special_folder_in(account_root, special_folder::inbox),
                    special_folder_in(account_root, special_folder::trash), report);
    }
    return waiting > left ? waiting - left : 0;
}

void report_left_behind(const std::string& work, const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += " " + terminal_text(name);
    voice.complain(std::to_string(names.size()) + (names.size() == 1 ? " message" : " messages") +
             " could not be filed; the download files stay in " + terminal_text(work) + ":" + list);
}

}  // namespace

int run_import(int argc, char** argv) {
    import_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    for (const message_source& source : arguments.sources) {
        if (!check_source(source, problem)) return voice.usage_error(problem);
    }
    if (!prepare_context()) return 1;

    const std::string mailbox = mailbox_root();
    const bool arrange =
        profile_read_bool(context().program_directory + "quillmere.ini", "switch", "arrange at receive", false);
    const std::string account_root = mailbox + arguments.account + "/";
    if (!prepare_account(mailbox, account_root)) {
        voice.complain("the account directory " + terminal_text(account_root) + " cannot be made");
        return 1;
    }

    const std::string& work = context().work_directory;
    terminal_reporter report;
    // Mail a sync received for another account and could not file goes to
    // that account first, as the next round would file it; the new messages
    // only join the work directory once nothing of another account waits there.
    int result = 0;
    std::size_t filed = 0;
    const std::string owner = waiting_mail_owner(work);
    if (!owner.empty() && owner != account_root) filed = file_waiting_mail(work, owner, arrange, report, result);
    int not_copied = 0;
    if (result < 0) {
        voice.complain("nothing was imported: mail received for " + terminal_text(owner) +
                       " still waits to be filed");
    } else {
        write_text_file(work + std::string(download_owner_name), account_root + "\n");
        download_writer writer(work);
        for (const message_source& source : arguments.sources)
            not_copied += source.mbox ? copy_mbox(source.path, writer) : copy_message_file(source.path, writer);
        filed += file_waiting_mail(work, account_root, arrange, report, result);
    }
    std::vector<std::string> left = download_files(work);
    if (left.empty()) delete_file(work + std::string(download_owner_name));

    std::printf("%zu %s filed\n", filed, filed == 1 ? "message" : "messages");
    std::fflush(stdout);
    if (result < 0) {
        report.error(str::receive_import_problem);
        report_left_behind(work, left);
    } else if (result == 0) {
        report.notice(str::receive_no_new_mail);
    }
    return result < 0 || not_copied > 0 || report.errors() > 0 ? 1 : 0;
}

}  // namespace qm::cli
