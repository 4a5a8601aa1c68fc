#include "net/pop3_client.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "base/number_text.h"
#include "net/md5.h"
#include "net/result_codes.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/work_directory.h"

namespace qm {

namespace {

// The longest command that fits into the line buffer, CR LF included.
constexpr std::size_t command_limit = reply_line_capacity - 1;

// Builds "<verb><argument><suffix>\r\n" in the line buffer. A too long
// argument is cut so that the command keeps its line end (the server then
// refuses it instead of waiting for the rest of a line that never comes).
void set_command(connection& link, std::string_view verb, std::string_view argument = {},
                 std::string_view suffix = {}) {
    std::string& line = link.line();
    // Room for the whole command up front: a password is never left behind in
    // a buffer given up by a reallocation.
    line.reserve(reply_line_capacity);
    std::size_t fixed = verb.size() + suffix.size() + 2;
    std::size_t room = fixed < command_limit ? command_limit - fixed : 0;
    line.assign(verb);
    line.append(argument.substr(0, room));
    line.append(suffix);
    line.append("\r\n");
}

// Overwrites the line buffer from `start` on with '*', keeping its line end.
void mask_line(connection& link, std::size_t start) {
    std::string& line = link.line();
    std::size_t end = line.size();
    if (line.ends_with("\r\n")) end -= 2;
    if (start < end) std::fill(line.begin() + static_cast<std::ptrdiff_t>(start),
                               line.begin() + static_cast<std::ptrdiff_t>(end), '*');
}

net_result send_command(connection& link, thread& job) {
    net_result code = link.send_line(job, true);
    if (code != net_result::ok) return code;
    return link.read_pop_reply(job);
}

net_result numbered_command(connection& link, thread& job, std::string_view verb, long number) {
    set_command(link, verb, std::to_string(number));
    return send_command(link, job);
}

// The message count of a STAT reply: the decimal number at its fifth
// character, as atoi reads it (leading blanks and a sign allowed, 0 when
// there is none), limited to what a long holds.
long message_count(std::string_view reply) {
    return reply.size() <= 4 ? 0 : static_cast<long>(leading_number(reply.substr(4), LONG_MIN, LONG_MAX));
}

// A line of the UID list as it is compared: cut at its first carriage
// return, which becomes a line feed.
std::string list_line(std::string_view text) {
    std::size_t cr = text.find('\r');
    if (cr == std::string_view::npos) return std::string(text);
    std::string line(text.substr(0, cr));
    line.push_back('\n');
    return line;
}

// An id in the same form. It always ends in a line feed, also when the reply
// line was cut, so that the new list keeps one id a line.
std::string comparable_id(std::string_view text) {
    std::string id = list_line(text);
    if (!id.ends_with('\n')) id.push_back('\n');
    return id;
}

// The id of a UIDL reply ("+OK <number> <id>"): the text after the first
// space behind the message number. A reply without one (or with an empty id)
// names no message, and is taken as an error reply.
bool reply_id(std::string_view reply, std::string& id) {
    std::size_t space = reply.size() > 4 ? reply.find(' ', 4) : std::string_view::npos;
    if (space == std::string_view::npos) return false;
    id = comparable_id(reply.substr(space + 1));
    return id != "\n";
}

// The ids of the UID list, read once per receive.
struct known_ids {
    bool present = false;  // the account has a list
    std::unordered_set<std::string> ids;

    bool contains(const std::string& id) const { return present && ids.contains(id); }
};

// Reads the list in its line pieces of at most 252 characters (CR LF and
// bare LF alike). A missing list is no error; one that exists but cannot be
// read is (10): taking it for empty would fetch every message again.
net_result load_uid_list(std::string_view path, known_ids& known) {
    text_reader reader;
    if (!reader.open(path)) {
        struct stat status;
        std::string disk = disk_path(path);
        if (disk.empty() || (::stat(disk.c_str(), &status) != 0 && errno == ENOENT)) return net_result::ok;
        return net_result::file_error;
    }
    known.present = true;
    std::string piece;
    while (reader.read_piece(piece, reply_line_capacity)) known.ids.insert(list_line(piece));
    return reader.failed() ? net_result::file_error : net_result::ok;
}

// One message of a receive: its id looked up, fetched when new, then deleted
// on the server or remembered in the new list.
struct receive_state {
    std::string_view work_directory;
    bool remove = false;
    known_ids known;
    text_writer new_list;
    std::uint64_t next_number = 0;
    std::string id;
};

net_result receive_message(connection& link, thread& job, receive_state& state, long number) {
    bool known = false;
    if (!(state.remove && !state.known.present)) {
        net_result code = numbered_command(link, job, "UIDL ", number);
        if (code != net_result::ok) return code;
        if (!reply_id(link.line(), state.id)) return net_result::error_reply;
        known = state.known.contains(state.id);
    }
    if (!known) {
        net_result code = numbered_command(link, job, "RETR ", number);
        if (code != net_result::ok) return code;
        code = pop_retrieve_to_file(link, job, download_path(state.work_directory, state.next_number));
        if (code != net_result::ok) return code;
        ++state.next_number;
    }
    if (state.remove) return numbered_command(link, job, "DELE ", number);
    return state.new_list.write(state.id) ? net_result::ok : net_result::file_error;
}

net_result unlink_unless_missing(std::string_view path) {
    std::string disk = disk_path(path);
    if (disk.empty()) return net_result::file_error;
    return ::unlink(disk.c_str()) == 0 || errno == ENOENT ? net_result::ok : net_result::file_error;
}

net_result receive(connection& link, thread& job, std::string_view work_directory, std::string_view uid_list_path,
            bool remove) {
    set_command(link, "STAT");
    net_result code = send_command(link, job);
    if (code != net_result::ok) return code;
    long count = message_count(link.line());

    receive_state state;
    state.work_directory = work_directory;
    state.remove = remove;
    std::string new_list_path = companion_path(uid_list_path);
    if (!remove && !state.new_list.open(new_list_path)) return net_result::file_error;

    code = load_uid_list(uid_list_path, state.known);
    if (code == net_result::ok) {
        state.next_number = next_download_number(work_directory);
        for (long number = 1; number <= count && code == net_result::ok; ++number)
            code = receive_message(link, job, state, number);
    }

    if (remove) return code == net_result::ok ? unlink_unless_missing(uid_list_path) : code;
    bool written = state.new_list.close();
    if (code == net_result::ok && !written) code = net_result::file_error;
    if (code == net_result::ok) return replace_with_companion(uid_list_path, new_list_path) ? net_result::ok : net_result::file_error;
    unlink_unless_missing(new_list_path);
    return code;
}

net_result check(connection& link, thread& job, std::string_view uid_list_path, bool remove, bool& new_mail) {
    set_command(link, "STAT");
    net_result code = send_command(link, job);
    if (code != net_result::ok) return code;
    long count = message_count(link.line());

    known_ids known;
    code = load_uid_list(uid_list_path, known);
    std::string id;
    for (long number = 1; number <= count && code == net_result::ok; ++number) {
        if (remove && !known.present) {
            new_mail = true;
            break;
        }
        code = numbered_command(link, job, "UIDL ", number);
        if (code != net_result::ok) break;
        if (!reply_id(link.line(), id)) return net_result::error_reply;
        if (!known.contains(id)) {
            new_mail = true;
            break;
        }
    }
    return code;
}

// The APOP login with the greeting's time stamp; anything but success lets
// the caller go on with USER and PASS.
net_result try_apop(connection& link, thread& job, std::string_view user, const std::string& password) {
    std::string_view greeting = link.line();
    std::size_t open = greeting.find('<');
    if (open == std::string_view::npos) return net_result::error_reply;
    std::size_t close = greeting.find('>', open);
    if (close == std::string_view::npos) return net_result::error_reply;

    std::string input;
    input.reserve(close - open + 1 + password.size());
    input.append(greeting.substr(open, close - open + 1));
    input.append(password);
    md5_context context;
    md5_init(context);
    md5_update(context, input.data(), input.size());
    std::fill(input.begin(), input.end(), '*');
    unsigned char digest[16];
    md5_final(digest, context);

    static constexpr char hex[] = "0123456789abcdef";
    std::string suffix = " ";
    for (unsigned char byte : digest) {
        suffix.push_back(hex[byte >> 4]);
        suffix.push_back(hex[byte & 15]);
    }
    set_command(link, "APOP ", user, suffix);
    net_result code = link.send_line(job, true);
    // The digest never stays in the line buffer, also when sending failed.
    mask_line(link, link.line().size() >= 34 ? link.line().size() - 34 : 0);
    if (code != net_result::ok) return code;
    return link.read_pop_reply(job);
}

net_result retrieve(connection& link, thread& job, std::string_view file_path) {
    // A crash or power loss mid-download never leaves a cut message that the
    // next filing would take for a whole one.
    whole_file_writer file;
    if (!file.open(std::string(file_path))) return net_result::file_error;

    bool tracing = link.tracing();
    if (tracing) link.begin_transfer_trace(job, "S: ");
    std::string piece;
    piece.reserve(message_read_capacity);
    // Only a piece that starts a line can be the end mark or dot-stuffed: the
    // rest of a line longer than a piece may well begin with a dot.
    bool line_start = true;
    net_result code;
    for (;;) {
        code = link.read_line(job, piece, message_read_capacity);
        if (code != net_result::ok) break;
        std::string_view data = piece;
        if (line_start && data.starts_with('.')) {
            if (data == ".\r\n") break;
            if (data.starts_with("..")) data.remove_prefix(1);
        }
        if (!file.write(data)) {
            code = net_result::file_error;
            break;
        }
        line_start = piece.ends_with('\n');
        if (tracing) link.transfer_trace_dot(job);
    }
    if (code == net_result::ok && !file.commit()) code = net_result::file_error;
    if (tracing) link.end_transfer_trace(job);
    return code;
}

}  // namespace

net_result pop_login(connection& link, thread& job, std::string_view user, std::string& password, bool apop) {
    net_result code = link.read_pop_reply(job);
    if (code != net_result::ok) return code;
    if (apop && try_apop(link, job, user, password) == net_result::ok) return net_result::ok;

    set_command(link, "USER ", user);
    code = send_command(link, job);
    if (code != net_result::ok) return code;

    set_command(link, "PASS ", password);
    code = link.send_line(job, true);
    mask_line(link, 5);
    if (code != net_result::ok) return code;
    code = link.read_pop_reply(job);
    return code == net_result::error_reply ? net_result::bad_password : code;
}

net_result pop_receive(connection& link, thread& job, std::string_view work_directory, std::string_view uid_list_path,
                bool remove) {
    try {
        return receive(link, job, work_directory, uid_list_path, remove);
    } catch (const std::bad_alloc&) {
        if (!remove) unlink_unless_missing(companion_path(uid_list_path));
        return net_result::no_memory;
    }
}

net_result pop_check(connection& link, thread& job, std::string_view uid_list_path, bool remove, bool& new_mail) {
    new_mail = false;
    try {
        return check(link, job, uid_list_path, remove, new_mail);
    } catch (const std::bad_alloc&) {
        return net_result::no_memory;
    }
}

net_result pop_retrieve_to_file(connection& link, thread& job, std::string_view file_path) {
    try {
        return retrieve(link, job, file_path);
    } catch (const std::bad_alloc&) {
        return net_result::no_memory;
    }
}

void pop_quit(connection& link, thread& job) {
    set_command(link, "QUIT");
    if (link.send_line(job, true) == net_result::ok) link.read_pop_reply(job);
}

}  // namespace qm
