#include "store/viewer_copies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/cp932.h"

namespace qm {

namespace {

// Closes the listing however the walk ends.
struct directory_listing {
    explicit directory_listing(const std::string& disk_name) : dir(::opendir(disk_name.c_str())) {}
    ~directory_listing() {
        if (dir) ::closedir(dir);
    }
    directory_listing(const directory_listing&) = delete;
    directory_listing& operator=(const directory_listing&) = delete;
    DIR* dir;
};

// The names are taken as the system lists them, so that a copy is found
// even under a name the program could not show.
std::vector<std::string> copy_names(DIR* dir) {
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string_view(entry->d_name).starts_with(viewer_copy_prefix)) names.emplace_back(entry->d_name);
    }
    return names;
}

}  // namespace

bool delete_viewer_copies(std::string_view temporary_directory) {
    const std::string disk_name = disk_path(temporary_directory);
    if (disk_name.empty()) return false;
    directory_listing listing(disk_name);
    if (!listing.dir) return errno == ENOENT;
    const int dir_fd = ::dirfd(listing.dir);
    bool all_gone = true;
    // Listed first and deleted afterwards: a listing that changes while it
    // is read may skip names.
    for (const std::string& name : copy_names(listing.dir)) {
        struct stat status;
        if (::fstatat(dir_fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(status.st_mode)) continue;
        if (::unlinkat(dir_fd, name.c_str(), 0) != 0 && errno != ENOENT) all_gone = false;
    }
    return all_gone;
}

}  // namespace qm
