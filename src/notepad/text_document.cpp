#include "notepad/text_document.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

#include <unistd.h>

#include "platform/attributes.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/string_table.h"
#include "platform/text_file.h"

namespace qm {

namespace {

struct free_deleter {
    void operator()(char* p) const { std::free(p); }
};

// The file a path names, links resolved: replacing a link would leave its
// target as it was and turn the link into a file of its own.
std::optional<std::string> resolved_path(std::string_view path, int& error) {
    const std::string name = disk_path(path);
    std::unique_ptr<char, free_deleter> real(name.empty() ? nullptr : ::realpath(name.c_str(), nullptr));
    error = real ? 0 : (name.empty() ? EINVAL : errno);
    if (!real) return std::nullopt;
    return program_name(real.get());
}

std::string directory_of(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string(".") : std::string(path.substr(0, slash + 1));
}

// Saving puts a new file in the directory and renames it over the old one.
bool can_replace_in(std::string_view directory) {
    const std::string name = disk_path(directory);
    return !name.empty() && ::access(name.c_str(), W_OK | X_OK) == 0;
}

bool has_text_after_end(std::string_view path) {
    std::string bytes;
    if (!read_binary_file(path, bytes)) return false;
    const std::size_t end = bytes.find(ctrl_z);
    return end != std::string::npos && end + 1 < bytes.size();
}

}  // namespace

open_outcome open_text_document(std::string_view path, text_document& document, held_file& hold) {
    int error = 0;
    std::optional<std::string> file = resolved_path(path, error);
    if (!file) return error == ENOENT || error == ENOTDIR ? open_outcome::missing : open_outcome::unreadable;
    held_file opened;
    text_document read;
    if (!opened.hold(*file) || !read_text_file(*file, read.text)) return open_outcome::unreadable;
    if (read.text.starts_with(utf8_text_mark)) {
        read.text.erase(0, utf8_text_mark.size());
        read.utf8 = true;
    }
    read.path = std::move(*file);
    read.read_only = is_read_only(read.path) || !can_replace_in(directory_of(read.path));
    read.text_after_end = has_text_after_end(read.path);
    document = std::move(read);
    hold = std::move(opened);
    return open_outcome::ok;
}

bool save_text_document(std::string_view path, std::string_view text, held_file& hold, bool utf8) {
    const std::string companion = companion_path(path);
    held_file fresh;
    // Held while it is still the companion, the new file is never shown
    // without being held, not even between the rename and a new open.
    const bool saved = rewrite_through_companion(
        path, [&](text_writer& out) {
            return (!utf8 || out.write(utf8_text_mark)) && out.write(text) && fresh.hold(companion);
        });
    if (saved) hold = std::move(fresh);
    return saved;
}

std::string document_title(std::string_view path, bool read_only) {
    const std::size_t slash = path.rfind('/');
    std::string title(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (read_only) title += " " + load_string(str::notepad_read_only_mark);
    return title;
}

}  // namespace qm
