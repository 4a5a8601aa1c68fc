#include "net/pop3_client.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "base/secret_wipe.h"
#include "base/find_nocase.h"
#include "base/number_text.h"
#include "net/bearer_login.h"
#include "net/md5.h"
#include "net/result_codes.h"
#include "net/uid_list.h"
#include "platform/file_operations.h"
#include "platform/kill_point.h"
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

// The number after "+OK " that a STAT reply ("+OK <count> <size>") and a
// UIDL reply ("+OK <number> <id>") begin with, and where it ends; false when
// there is none. Taking a reply without it for 0 would empty the UID list,
// and the next round would fetch every message again.
bool reply_number(std::string_view reply, long& number, std::size_t& end) {
    constexpr std::size_t start = 4;
    if (reply.size() <= start || reply[start - 1] != ' ') return false;
    end = start;
    while (end < reply.size() && reply[end] >= '0' && reply[end] <= '9') ++end;
    std::string_view digits = reply.substr(start, end - start);
    if (digits.empty() || digits.size() > 9) return false;
    number = static_cast<long>(leading_number(digits, 0, LONG_MAX));
    return true;
}

// The id of the UIDL reply for message `number` ("+OK <number> <id>"): the
// text after the space behind the number. A reply without one (or with an
// empty id), or one for another message, names no message of ours and is
// taken as an error reply.
bool reply_id(std::string_view reply, long number, std::string& id) {
    long answered = 0;
    std::size_t end = 0;
    if (!reply_number(reply, answered, end) || answered != number) return false;
    if (end >= reply.size() || reply[end] != ' ') return false;
    id = comparable_id(reply.substr(end + 1));
    return id != "\n";
}

// The message after a positive answer to RETR into the open file, which the
// caller commits; message_too_large once it passes `limit` bytes (a server
// that never ends a message must not fill the disk).
net_result retrieve(connection& link, thread& job, whole_file_writer& file, std::uint64_t limit) {
    std::uint64_t written = 0;
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
        written += data.size();
        if (written > limit) {
            code = net_result::message_too_large;
            break;
        }
        if (!file.write(data)) {
            code = net_result::file_error;
            break;
        }
        if (line_start && data == "\r\n") kill_point("retr");  // the header is in, the body not
        line_start = piece.ends_with('\n');
        if (tracing) link.transfer_trace_dot(job);
    }
    if (tracing) link.end_transfer_trace(job);
    return code;
}

// One message of a receive: its id looked up, fetched when new (and noted
// as fetched before its download file takes its name), then deleted on the
// server; its id goes into the new list either way.
struct receive_state {
    std::string_view work_directory;
    std::string_view uid_list_path;
    bool remove = false;
    // With "remove" and no list, a server without UIDL is still emptied, as
    // it always was; nothing can be noted then.
    bool without_ids = false;
    known_ids known;
    std::vector<std::string> new_list;  // every id seen on the server, in its order
    std::uint64_t size_limit = 0;
    std::uint64_t next_number = 0;
    int downloaded = 0;
    std::string id;
};

net_result ask_id(connection& link, thread& job, receive_state& state, long number) {
    net_result code = numbered_command(link, job, "UIDL ", number);
    if (code == net_result::error_reply && number == 1 && state.remove && !state.known.present) {
        state.without_ids = true;
        return net_result::ok;
    }
    if (code != net_result::ok) return code;
    return reply_id(link.line(), number, state.id) ? net_result::ok : net_result::error_reply;
}

// Why a download file could not be written, for the message: the file and
// the system's reason, and that the message is still on the server.
net_result file_failure(connection& link, const std::string& path) {
    const int error = errno;
    link.set_error_detail(path + ": " + std::strerror(error) + "; the message is still on the server");
    return net_result::file_error;
}

net_result download(connection& link, thread& job, receive_state& state, long number) {
    net_result code = numbered_command(link, job, "RETR ", number);
    if (code != net_result::ok) return code;
    whole_file_writer file;
    // A partial file that a receive cut short left behind keeps its number
    // until the work directory is cleared at exit.
    std::string path;
    while (!file.open(path = download_path(state.work_directory, state.next_number))) {
        if (errno != EEXIST) return file_failure(link, path);
        ++state.next_number;
    }
    code = retrieve(link, job, file, state.size_limit);
    if (code == net_result::file_error) return file_failure(link, file.path());
    if (code != net_result::ok) return code;
    if (!file.finish()) return file_failure(link, file.path());
    if (!state.without_ids && !note_received_id(state.work_directory, state.next_number, state.uid_list_path, state.id))
        return file_failure(link, received_id_path(state.work_directory, state.next_number));
    kill_point("downloaded");
    if (!file.commit()) return file_failure(link, path);
    ++state.next_number;
    ++state.downloaded;
    return net_result::ok;
}

net_result receive_message(connection& link, thread& job, receive_state& state, long number) {
    if (!state.without_ids) {
        net_result code = ask_id(link, job, state, number);
        if (code != net_result::ok) return code;
    }
    if (state.without_ids || !state.known.contains(state.id)) {
        net_result code = download(link, job, state, number);
        if (code != net_result::ok) return code;
    }
    if (!state.without_ids) state.new_list.push_back(state.id);
    return state.remove ? numbered_command(link, job, "DELE ", number) : net_result::ok;
}

// The message count of the STAT reply ("+OK <count> <size>").
net_result ask_count(connection& link, thread& job, long& count) {
    set_command(link, "STAT");
    net_result code = send_command(link, job);
    if (code != net_result::ok) return code;
    std::size_t end = 0;
    return reply_number(link.line(), count, end) ? net_result::ok : net_result::error_reply;
}

// QUIT is where the server deletes what was marked: the downloads must be on
// the disk before it. Without that the marks are taken back.
net_result make_downloads_durable(connection& link, thread& job, const receive_state& state) {
    if (state.downloaded == 0 || flush_file_system(state.work_directory)) return net_result::ok;
    set_command(link, "RSET");
    send_command(link, job);
    return net_result::file_error;
}

net_result receive(connection& link, thread& job, std::string_view work_directory, std::string_view uid_list_path,
                   bool remove, std::uint64_t size_limit) {
    long count = 0;
    net_result code = ask_count(link, job, count);
    if (code != net_result::ok) return code;
    // What an interrupted receive fetched is in the list before anything new is.
    if (!fold_received_ids(work_directory)) return net_result::file_error;

    receive_state state;
    state.work_directory = work_directory;
    state.uid_list_path = uid_list_path;
    state.remove = remove;
    state.size_limit = size_limit;
    code = load_uid_list(uid_list_path, state.known);
    if (code != net_result::ok) return code;
    state.next_number = next_download_number(work_directory);
    const int total = static_cast<int>(std::min<long>(count, std::numeric_limits<int>::max()));
    job.set_progress(0, total);
    for (long number = 1; number <= count && code == net_result::ok; ++number) {
        code = receive_message(link, job, state, number);
        if (code == net_result::ok) job.set_progress(static_cast<int>(std::min<long>(number, total)), total);
    }

    if (remove) {
        net_result flushed = make_downloads_durable(link, job, state);
        if (code == net_result::ok) code = flushed;
    }
    // A whole round leaves the ids of the server's messages; one cut short
    // adds what it fetched to the old list.
    if (code == net_result::ok && !state.without_ids && !write_uid_list(uid_list_path, state.new_list))
        code = net_result::file_error;
    if (!fold_received_ids(work_directory) && code == net_result::ok) code = net_result::file_error;
    return code;
}

net_result check(connection& link, thread& job, std::string_view uid_list_path, bool remove, bool& new_mail) {
    long count = 0;
    net_result code = ask_count(link, job, count);
    if (code != net_result::ok) return code;

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
        if (!reply_id(link.line(), number, id)) return net_result::error_reply;
        if (!known.contains(id)) {
            new_mail = true;
            break;
        }
    }
    return code;
}

// The APOP login with the greeting's time stamp; anything but success lets
// the caller go on with USER and PASS.
net_result try_apop(connection& link, thread& job, std::string_view greeting, std::string_view user,
                    const std::string& password) {
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
    wipe_password(input);
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

// What a CAPA answer offers.
struct capabilities {
    bool stls = false;
    std::string sasl_names;  // the names of the "SASL" line
};

// The lines of a positive CAPA answer up to its "." line, traced.
net_result read_capabilities(connection& link, thread& job, capabilities& offered) {
    offered = {};
    std::string piece;
    bool line_start = true;
    for (;;) {
        net_result code = link.read_line(job, piece, reply_line_capacity);
        if (code != net_result::ok) return code;
        link.trace(job, piece);
        if (line_start) {
            if (piece == ".\r\n" || piece == ".\n") return net_result::ok;
            std::string_view line = without_line_end(piece);
            if (equals_nocase(line, "STLS")) offered.stls = true;
            if (starts_with_nocase(line, "SASL ")) offered.sasl_names = line.substr(5);
        }
        line_start = piece.ends_with('\n');
    }
}

net_result ask_capabilities(connection& link, thread& job, capabilities& offered) {
    offered = {};
    set_command(link, "CAPA");
    net_result code = send_command(link, job);
    if (code != net_result::ok) return code;
    return read_capabilities(link, job, offered);
}

// CAPA, STLS, the handshake and CAPA again on the greeted plain connection.
net_result upgrade(connection& link, thread& job, std::string_view host, capabilities& offered) {
    net_result code = ask_capabilities(link, job, offered);
    // A server without CAPA cannot say that it offers STLS.
    if (code == net_result::error_reply || (code == net_result::ok && !offered.stls)) {
        link.set_error_detail("STLS is not in the CAPA reply");
        return net_result::tls_not_offered;
    }
    if (code != net_result::ok) return code;
    set_command(link, "STLS");
    code = send_command(link, job);
    if (code == net_result::error_reply) {
        link.set_error_detail(without_line_end(link.line()));
        return net_result::tls_refused;
    }
    if (code != net_result::ok) return code;
    code = link.start_tls(job, host);
    if (code != net_result::ok) {
        // After a failed handshake or injected bytes not even QUIT goes out.
        link.close_gently(false);
        return code;
    }
    // What the server offered in the clear may have been forged: asked again.
    code = ask_capabilities(link, job, offered);
    return code == net_result::error_reply ? net_result::ok : code;
}

net_result read_auth_reply(connection& link, thread& job) { return link.read_pop_reply(job); }

constexpr bearer_protocol pop3_bearer{"+ ", "+OK", pop3_auth_line_limit, read_auth_reply};

}  // namespace

net_result pop_login(connection& link, thread& job, std::string_view user, std::string& password, bool apop,
                     std::string_view stls_host) {
    net_result code = link.read_pop_reply(job);
    if (code != net_result::ok) return code;
    const std::string greeting = link.line();
    if (!stls_host.empty()) {
        capabilities offered;
        code = upgrade(link, job, stls_host, offered);
        if (code != net_result::ok) return code;
    }
    if (apop && try_apop(link, job, greeting, user, password) == net_result::ok) return net_result::ok;

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

net_result pop_login_bearer(connection& link, thread& job, std::string_view user, const std::string& token,
                            std::string_view host, int port, std::string_view stls_host) {
    net_result code = link.read_pop_reply(job);
    if (code != net_result::ok) return code;
    capabilities offered;
    code = stls_host.empty() ? ask_capabilities(link, job, offered) : upgrade(link, job, stls_host, offered);
    if (code != net_result::ok && code != net_result::error_reply) return code;
    bearer_mechanism mechanism = choose_bearer_mechanism(offered.sasl_names);
    // A server that does not list its mechanisms may still take the
    // one the large providers take.
    if (mechanism == bearer_mechanism::none) mechanism = bearer_mechanism::xoauth2;
    std::string message = bearer_first_message(mechanism, user, host, port, token);
    return bearer_login(link, job, pop3_bearer, mechanism, message);
}

net_result pop_receive(connection& link, thread& job, std::string_view work_directory, std::string_view uid_list_path,
                       bool remove, std::uint64_t size_limit) {
    try {
        return receive(link, job, work_directory, uid_list_path, remove, size_limit);
    } catch (const std::bad_alloc&) {
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

void pop_quit(connection& link, thread& job) {
    kill_point("quit");
    set_command(link, "QUIT");
    if (link.send_line(job, true) != net_result::ok) return;
    kill_point("quit-sent");
    link.read_pop_reply(job);
    kill_point("quit-answered");
}

}  // namespace qm
