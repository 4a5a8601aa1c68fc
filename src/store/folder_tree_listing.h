#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The sub-folders of a directory that the folder tree shows: every
// sub-directory whose name does not begin with ".", in listing order.
std::vector<std::string> folder_tree_children(std::string_view directory);

// The folder tree is made again after many commands, and lists every folder
// of the account each time: a folder of 100,000 messages takes some 30 ms
// to list for the few sub-folders it may hold. This keeps each directory's
// sub-folders with the directory's status when it was listed (device,
// inode, links, size, times of the last write and change); while that
// status holds, nothing was added, removed or renamed in it, and it is not
// read again. A listing is kept only when the directory had not changed for
// a while before it: a change within the same tick of the file system's
// clock could leave its times as they were (two seconds on FAT).
class folder_listing_memory {
public:
    static constexpr std::chrono::milliseconds default_settled_after{3000};
    // `settled_after`: how long a directory must have stood still before its
    // listing is kept.
    explicit folder_listing_memory(std::chrono::milliseconds settled_after = default_settled_after)
        : settled_after_(settled_after) {}

    std::vector<std::string> children(std::string_view directory);

private:
    std::chrono::milliseconds settled_after_;
    struct listing {
        struct stat status;
        std::vector<std::string> children;
    };
    std::map<std::string, listing, std::less<>> listings_;
};

}  // namespace qm
