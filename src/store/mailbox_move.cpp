#include "store/mailbox_move.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "platform/tree_operations.h"
#include "store/draft_in_use.h"

namespace qm {

namespace {

namespace fs = std::filesystem;
using outcome = mailbox_move_status;

constexpr std::size_t compare_block = 65536;

// The system's name of a CP932 directory path, without its final "/".
fs::path disk_directory(std::string_view path) { return fs::path(disk_path(trimmed_path(path))); }

// Whether `outer` is `inner` or one of the directories above it; both are
// canonical.
bool lies_within(const fs::path& inner, const fs::path& outer) {
    return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

// Where the two places stand to each other, symbolic links and ".." resolved;
// failed when the mailbox is not there.
outcome placement(std::string_view mailbox, std::string_view new_mailbox) {
    std::error_code error;
    const fs::path old_place = fs::canonical(disk_directory(mailbox), error);
    if (error) return outcome::failed;
    const fs::path new_place = fs::weakly_canonical(disk_directory(new_mailbox), error);
    if (error) return outcome::failed;
    if (old_place == new_place) return outcome::same_directory;
    if (lies_within(new_place, old_place)) return outcome::target_inside;
    if (lies_within(old_place, new_place)) return outcome::mailbox_inside;
    return outcome::moved;
}

// Calls visit(entry, type) for every entry below `directory`, going into the
// sub-directories but never through a symbolic link; stops when visit says
// false. False when a directory cannot be read or visit said false.
template <typename Visit>
bool walk_tree(const fs::path& directory, Visit visit) {
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const fs::file_type type = it->symlink_status(error).type();
        if (error || !visit(it->path(), type)) return false;
        if (type == fs::file_type::directory && !walk_tree(it->path(), visit)) return false;
    }
    return !error;
}

// Whether a copy can keep everything: directories, files and symbolic links,
// under names the program can list (the copy is made from its listing).
bool is_copyable(const fs::path& mailbox) {
    return walk_tree(mailbox, [](const fs::path& path, fs::file_type type) {
        const bool plain = type == fs::file_type::directory || type == fs::file_type::regular ||
                           type == fs::file_type::symlink;
        return plain && program_name(path.filename().native()).has_value();
    });
}

bool holds_open_file(const fs::path& mailbox) {
    bool open = false;
    walk_tree(mailbox, [&](const fs::path& path, fs::file_type type) {
        open = type == fs::file_type::regular && is_system_file_open_elsewhere(path.native());
        return !open;
    });
    return open;
}

bool same_bytes(const fs::path& a, const fs::path& b) {
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second) return false;
    std::string first_block(compare_block, '\0'), second_block(compare_block, '\0');
    for (;;) {
        first.read(first_block.data(), compare_block);
        second.read(second_block.data(), compare_block);
        const std::streamsize count = first.gcount();
        if (count != second.gcount() ||
            std::memcmp(first_block.data(), second_block.data(), static_cast<std::size_t>(count)) != 0) {
            return false;
        }
        if (!first || !second) return first.eof() && second.eof() && !first.bad() && !second.bad();
    }
}

// Whether `copy` holds every directory, file and link of `original`, of
// the same kind, files with the same bytes and links with the same target.
bool is_whole_copy(const fs::path& original, const fs::path& copy) {
    return walk_tree(original, [&](const fs::path& path, fs::file_type type) {
        const fs::path twin = copy / path.lexically_relative(original);
        std::error_code error;
        if (fs::symlink_status(twin, error).type() != type || error) return false;
        if (type == fs::file_type::regular) return same_bytes(path, twin);
        if (type == fs::file_type::symlink) {
            std::error_code twin_error;
            return fs::read_symlink(path, error) == fs::read_symlink(twin, twin_error) && !error && !twin_error;
        }
        return true;
    });
}

// The state of the new place before anything is copied into it.
outcome check_target(const fs::path& target) {
    std::error_code error;
    const fs::file_status state = fs::status(target, error);
    if (state.type() == fs::file_type::not_found) {
        // Only the last directory is made: a mistyped parent is not.
        return fs::is_directory(target.parent_path(), error) ? outcome::moved : outcome::failed;
    }
    if (error || state.type() != fs::file_type::directory) return outcome::failed;
    const bool empty = fs::is_empty(target, error);
    if (error) return outcome::failed;
    return empty ? outcome::moved : outcome::target_not_empty;
}

}  // namespace

bool mailbox_move_result::use_new_path() const {
    return status == outcome::moved || status == outcome::moved_old_left || status == outcome::same_directory;
}

int mailbox_move_result::message() const {
    switch (status) {
    case outcome::moved:
    case outcome::same_directory: return 0;
    case outcome::moved_old_left: return str::mailbox_old_left;
    case outcome::target_inside: return str::mailbox_target_inside;
    case outcome::mailbox_inside: return str::mailbox_inside_target;
    case outcome::target_not_empty: return str::mailbox_target_not_empty;
    case outcome::unusable_entry: return str::mailbox_unusable_entry;
    case outcome::file_in_use: return str::mailbox_file_in_use;
    case outcome::failed: return str::file_error;
    }
    return str::file_error;
}

mailbox_move_result check_mailbox_move(std::string_view mailbox, std::string_view new_mailbox) {
    if (const outcome where = placement(mailbox, new_mailbox); where != outcome::moved) return {where};
    if (const outcome state = check_target(disk_directory(new_mailbox)); state != outcome::moved) return {state};
    if (!is_copyable(disk_directory(mailbox))) return {outcome::unusable_entry};
    if (holds_open_file(disk_directory(mailbox))) return {outcome::file_in_use};
    return {outcome::moved};
}

mailbox_move_result move_mailbox(std::string_view mailbox, std::string_view new_mailbox) {
    if (const mailbox_move_result check = check_mailbox_move(mailbox, new_mailbox); check.status != outcome::moved)
        return check;
    const fs::path original = disk_directory(mailbox);
    const fs::path target = disk_directory(new_mailbox);

    const bool made = !directory_exists(new_mailbox);
    if (made && !make_directory(new_mailbox)) return {outcome::failed};
    if (!copy_tree(mailbox, new_mailbox) || !is_whole_copy(original, target)) {
        if (made) {
            delete_tree(new_mailbox, false);
        } else {
            empty_tree(new_mailbox);
        }
        return {outcome::failed};
    }
    return {delete_tree(mailbox, false) ? outcome::moved : outcome::moved_old_left};
}

std::string rerooted_path(std::string_view path, std::string_view mailbox, std::string_view new_mailbox) {
    if (!path.starts_with(mailbox)) return std::string(path);
    return std::string(new_mailbox) + std::string(path.substr(mailbox.size()));
}

}  // namespace qm
