#include "support/test_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/cp932.h"

namespace fs = std::filesystem;

namespace qm::test {

std::string sj(std::string_view utf8) {
    auto converted = utf8_to_cp932(utf8);
    if (!converted) throw std::runtime_error("no CP932 form: " + std::string(utf8));
    return *converted;
}

std::string u8(std::string_view cp932) { return cp932_to_utf8(cp932).value_or("<not CP932>"); }

temp_dir::temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmtest-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

temp_dir::~temp_dir() { remove_tree(path_); }

std::string temp_dir::cp(std::string_view utf8_name) const { return sj(path_ + std::string(utf8_name)); }

void remove_tree(const std::string& utf8_path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(utf8_path, ec))) return;
    for (auto it = fs::recursive_directory_iterator(utf8_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
    ::chmod(utf8_path.c_str(), 0700);
    fs::remove_all(utf8_path, ec);
}

std::string read_bytes(const std::string& utf8_path) {
    std::ifstream in(utf8_path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool exists(const std::string& utf8_path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(utf8_path, ec));
}

void write_envelope(const std::string& utf8_outgoing_path, const std::string& sender,
                    const std::vector<std::string>& recipients) {
    std::string text = sender + "\r\n";
    for (const std::string& recipient : recipients) text += recipient + "\r\n";
    write_bytes(utf8_outgoing_path.substr(0, utf8_outgoing_path.size() - 4) + ".env", text);
}

void write_bytes(const std::string& utf8_path, std::string_view bytes) {
    fs::create_directories(fs::path(utf8_path).parent_path());
    std::ofstream out(utf8_path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> list_names(const std::string& utf8_path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(utf8_path, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned mode_of(const std::string& utf8_path) {
    struct stat status {};
    return ::lstat(utf8_path.c_str(), &status) == 0 ? status.st_mode & 07777 : ~0u;
}

std::map<std::string, std::string> tree_snapshot(const std::string& utf8_directory) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(utf8_directory)) {
        std::string& seen = entries[entry.path().lexically_relative(utf8_directory).string()];
        const fs::perms mode = entry.symlink_status().permissions();
        if (entry.is_symlink()) seen = "link " + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory()) seen = (mode & fs::perms::owner_write) == fs::perms::none ? "dir -w" : "dir";
        else if (entry.is_regular_file()) seen = std::to_string(static_cast<int>(mode)) + read_bytes(entry.path());
        else seen = "special";
    }
    return entries;
}

std::vector<std::string> recording_reporter::texts() const {
    std::vector<std::string> result;
    for (const auto& [kind, text] : shown) result.push_back(u8(text));
    return result;
}

scoped_env::scoped_env(const char* name, const char* value, void (*changed)()) : name_(name), changed_(changed) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
    changed_();
}

scoped_env::~scoped_env() {
    old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str());
    changed_();
}

scoped_time_zone::scoped_time_zone(const char* zone) : scoped_env("TZ", zone, ::tzset) {
    EXPECT_TRUE(fs::exists(std::string("/usr/share/zoneinfo/") + zone)) << "tzdata lacks " << zone;
}

file_size_limit::file_size_limit(rlim_t bytes, bool signal_kills)
    : handler_(std::signal(SIGXFSZ, signal_kills ? SIG_DFL : SIG_IGN)) {
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &old_), 0);
    rlimit limit{bytes, old_.rlim_max};
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

file_size_limit::~file_size_limit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, handler_);
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; !done();
         std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() >= deadline) return false;
    return true;
}

bool in_ci() { return std::getenv("CI") && std::string_view(std::getenv("CI")) == "true"; }

}  // namespace qm::test
