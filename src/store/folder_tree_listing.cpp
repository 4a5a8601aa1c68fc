#include "store/folder_tree_listing.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>

#include "config/folder_names.h"
#include "platform/file_operations.h"
#include "platform/open_directory.h"

namespace qm {

namespace {

// Directories remembered at most; past that the memory starts again.
constexpr std::size_t max_listings = 2000;

bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool unchanged(const struct stat& then, const struct stat& now) {
    return then.st_dev == now.st_dev && then.st_ino == now.st_ino && then.st_nlink == now.st_nlink &&
           then.st_size == now.st_size && same_time(then.st_mtim, now.st_mtim) && same_time(then.st_ctim, now.st_ctim);
}

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

bool settled(const struct stat& status, std::chrono::nanoseconds settled_after) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now) - std::max(nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)) >=
           settled_after.count();
}

std::vector<std::string> listed_children(const open_directory& directory) {
    // Hidden names (the messages) are dropped at once: a folder of 100,000
    // messages is passed over without a look at any of them.
    std::vector<std::string> children;
    const std::optional<std::vector<std::string>> names = directory.subdirectory_names(false);
    if (!names) return children;
    for (const std::string& name : *names) {
        if (is_listed_folder_name(name)) children.push_back(name);
    }
    return children;
}

}  // namespace

std::vector<std::string> folder_tree_children(std::string_view directory) {
    return listed_children(open_directory(with_final_slash(directory)));
}

std::vector<std::string> folder_listing_memory::children(std::string_view directory) {
    const std::string path = with_final_slash(directory);
    const open_directory opened(path);
    struct stat status;
    // The status before the listing: a change while it is read makes the
    // next look differ.
    if (!opened.status(status)) {
        listings_.erase(path);
        return {};
    }
    if (auto found = listings_.find(path); found != listings_.end() && unchanged(found->second.status, status))
        return found->second.children;
    std::vector<std::string> children = listed_children(opened);
    if (!settled(status, settled_after_)) {
        listings_.erase(path);
        return children;
    }
    if (listings_.size() >= max_listings) listings_.clear();
    listings_[path] = {status, children};
    return children;
}

}  // namespace qm
