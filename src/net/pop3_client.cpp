#include "net/pop3_client.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
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

// How many commands a receive sends ahead of their answers to a server that
// offers PIPELINING: enough to keep it busy, few enough (some hundred bytes)
// that they always fit into the connection's buffers, so that neither side
// ever waits for the other to read. More are sent once half were answered.
constexpr std::size_t pipelined_commands = 32;

// The longest line an id listing may hold per message: a server that sends
// more than that many bytes per message of its STAT count is not listing ids,
// and is not read on without end.
constexpr std::uint64_t listing_line_limit = reply_line_capacity;

// The number after "+OK " that a STAT reply ("+OK <count> <size>") begins
// with; false when there is none. Taking a reply without it for 0 would
// empty the UID list, and the next round would fetch every message again.
bool reply_number(std::string_view reply, long& number) {
    constexpr std::size_t start = 4;
    if (reply.size() <= start || reply[start - 1] != ' ') return false;
    std::size_t end = start;
    while (end < reply.size() && reply[end] >= '0' && reply[end] <= '9') ++end;
    std::string_view digits = reply.substr(start, end - start);
    if (digits.empty() || digits.size() > 9) return false;
    number = static_cast<long>(leading_number(digits, 0, LONG_MAX));
    return true;
}

// A line of an id listing, "<number> <id>": false when it is not of that
// form or its id is empty. The id is kept as far as a one-message reply
// "+OK <number> <id>" would have kept it in the line buffer, so that ids
// compare with those of lists that such replies made.
bool listing_entry(std::string_view line, long& number, std::string& id) {
    line = line.substr(0, reply_line_capacity - 1 - std::string_view("+OK ").size());
    std::size_t end = 0;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
    if (end == 0 || end > 9 || end >= line.size() || line[end] != ' ') return false;
    number = static_cast<long>(leading_number(line.substr(0, end), 0, LONG_MAX));
    id = comparable_id(line.substr(end + 1));
    return id != "\n";
}

// The id of every message, by number, from the listing that follows a
// positive answer to UIDL: read to its end "." also when a line is wrong, so
// that the next answer is read where it starts. A listing whose every
// message from 1 to `count` is not there exactly once is an error reply
// (taking it for "no ids" would fetch everything again). One longer than
// `count` lines of a reply line's length is not read on: `in_step` is then
// false, the stream being left inside the listing.
net_result read_id_listing(connection& link, thread& job, long count, std::vector<std::string>& ids,
                           bool& in_step) {
    const std::uint64_t limit = (static_cast<std::uint64_t>(count) + 1) * listing_line_limit;
    std::vector<std::pair<long, std::string>> listed;
    std::uint64_t total = 0;
    bool well_formed = true, line_start = true;
    std::string piece;
    for (;;) {
        net_result code = link.read_line(job, piece, reply_line_capacity);
        if (code != net_result::ok) {
            in_step = false;
            return code;
        }
        link.trace(job, piece);
        total += piece.size();
        if (total > limit) {
            in_step = false;
            return net_result::error_reply;
        }
        const bool starts_line = line_start;
        line_start = piece.ends_with('\n');
        if (!starts_line) continue;  // the rest of a long line
        if (piece == ".\r\n" || piece == ".\n") break;
        long number = 0;
        std::string id;
        if (listing_entry(piece, number, id) && number >= 1 && number <= count) listed.emplace_back(number, std::move(id));
        else well_formed = false;
    }
    if (!well_formed || listed.size() != static_cast<std::size_t>(count)) return net_result::error_reply;
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ids.clear();
    ids.reserve(listed.size());
    for (auto& [number, id] : listed) {
        // Sorted, `count` numbers of 1 to `count` are each there once only when each stands in its place.
        if (number != static_cast<long>(ids.size()) + 1) return net_result::error_reply;
        ids.push_back(std::move(id));
    }
    return net_result::ok;
}

// UIDL without an argument and its listing (see read_id_listing);
// `refused` when the server answered with an error (it has no UIDL).
net_result ask_ids(connection& link, thread& job, long count, std::vector<std::string>& ids, bool& in_step,
                   bool& refused) {
    set_command(link, "UIDL");
    net_result code = link.send_line(job, true);
    if (code == net_result::ok) code = link.read_pop_reply(job);
    refused = code == net_result::error_reply;
    if (refused) return code;
    if (code != net_result::ok) {
        in_step = false;
        return code;
    }
    return read_id_listing(link, job, count, ids, in_step);
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

// A command sent and not yet answered.
struct sent_command {
    bool retrieve = false;  // RETR, else DELE
    long number = 0;
};

// A receive under way: what the server holds, what was sent and what is
// still to be said.
struct receive_state {
    std::string_view work_directory;
    std::string_view uid_list_path;
    const pop_receive_options* options = nullptr;
    long count = 0;
    // With "remove" and no list, a server without UIDL is still emptied, as
    // it always was; nothing can be noted then.
    bool without_ids = false;
    known_ids known;
    std::vector<std::string> ids;  // every message's id, by number (none without ids)
    received_id_note note;
    std::uint64_t next_number = 0;
    int downloaded = 0;

    long next_message = 1;              // the next message to ask for or delete
    std::deque<sent_command> in_flight;  // in the order sent
    std::deque<long> deletions;          // downloads now whole, whose DELE is still to be sent
    bool inside_message = false;         // a message's lines are being read

    bool wanted(long number) const { return without_ids || !known.contains(ids[static_cast<std::size_t>(number - 1)]); }
    // Whether the stream is where the next answer starts, with no answer due.
    bool in_step() const { return in_flight.empty() && !inside_message; }
    // The messages all of whose commands were answered.
    long done() const {
        long first_open = deletions.empty() ? next_message : std::min(next_message, deletions.front());
        for (const sent_command& command : in_flight) first_open = std::min(first_open, command.number);
        return first_open - 1;
    }
};

// Why a download file could not be written, for the message: the file and
// the system's reason, and that the message is still on the server.
net_result file_failure(connection& link, const std::string& path) {
    const int error = errno;
    link.set_error_detail(path + ": " + std::strerror(error) + "; the message is still on the server");
    return net_result::file_error;
}

// The answer to RETR: the message into the next download file, noted as
// fetched before the file takes its name; its DELE, with "remove", goes out
// only then, so that the server never deletes a message that is not whole
// here.
net_result take_message(connection& link, thread& job, receive_state& state, long number) {
    net_result code = link.read_pop_reply(job);
    if (code != net_result::ok) return code;
    state.inside_message = true;
    whole_file_writer file;
    // A partial file that a receive cut short left behind keeps its number
    // until the work directory is cleared at exit.
    std::string path;
    while (!file.open(path = download_path(state.work_directory, state.next_number))) {
        if (errno != EEXIST) return file_failure(link, path);
        ++state.next_number;
    }
    code = retrieve(link, job, file, state.options->size_limit);
    if (code == net_result::file_error) return file_failure(link, file.path());
    if (code != net_result::ok) return code;
    state.inside_message = false;
    if (!file.finish()) return file_failure(link, file.path());
    if (!state.without_ids &&
        !state.note.append(state.work_directory, state.next_number, state.uid_list_path,
                           state.ids[static_cast<std::size_t>(number - 1)]))
        return file_failure(link, state.note.path());
    kill_point("downloaded");
    if (!file.commit()) return file_failure(link, path);
    ++state.next_number;
    ++state.downloaded;
    if (state.options->remove) state.deletions.push_back(number);
    if (state.options->downloaded) state.options->downloaded();
    return net_result::ok;
}

// Sends what is next, as many commands as the window takes (one at a time
// without PIPELINING), in one piece: the DELE of a whole download first, then
// RETR for a new message, or DELE for a known one with "remove".
net_result send_ahead(connection& link, thread& job, receive_state& state) {
    const std::size_t window = state.options->pipelining ? pipelined_commands : 1;
    if (state.in_flight.size() > window / 2) return net_result::ok;
    std::string batch;
    std::vector<std::string> lines;
    while (state.in_flight.size() < window) {
        sent_command command;
        if (!state.deletions.empty()) {
            command = {false, state.deletions.front()};
            state.deletions.pop_front();
        } else if (state.next_message <= state.count) {
            const long number = state.next_message++;
            command = {state.wanted(number), number};
            if (!command.retrieve && !state.options->remove) continue;
        } else {
            break;
        }
        set_command(link, command.retrieve ? "RETR " : "DELE ", std::to_string(command.number));
        batch.append(link.line());
        if (link.tracing()) lines.push_back(link.line());
        state.in_flight.push_back(command);
    }
    net_result code = link.send_bytes(job, batch);
    if (code != net_result::ok) return code;
    link.set_trace_prefix("C: ");
    for (const std::string& line : lines) link.trace(job, line);
    return net_result::ok;
}

// The message count of the STAT reply ("+OK <count> <size>").
net_result ask_count(connection& link, thread& job, long& count) {
    set_command(link, "STAT");
    net_result code = send_command(link, job);
    if (code != net_result::ok) return code;
    return reply_number(link.line(), count) ? net_result::ok : net_result::error_reply;
}

// QUIT is where the server deletes what was marked: the downloads must be on
// the disk before it. Without that the marks are taken back.
net_result make_downloads_durable(connection& link, thread& job, const receive_state& state) {
    if (state.downloaded == 0 || flush_file_system(state.work_directory)) return net_result::ok;
    set_command(link, "RSET");
    send_command(link, job);
    return net_result::file_error;
}

// Every message in turn: fetched when new, deleted with "remove".
net_result transfer(connection& link, thread& job, receive_state& state) {
    const int total = static_cast<int>(std::min<long>(state.count, std::numeric_limits<int>::max()));
    for (;;) {
        net_result code = send_ahead(link, job, state);
        if (code != net_result::ok) return code;
        if (state.in_flight.empty()) {
            job.set_progress(total, total);
            return net_result::ok;
        }
        const sent_command command = state.in_flight.front();
        state.in_flight.pop_front();
        code = command.retrieve ? take_message(link, job, state, command.number) : link.read_pop_reply(job);
        if (code != net_result::ok) return code;
        job.set_progress(static_cast<int>(std::min<long>(state.done(), total)), total);
    }
}

net_result receive(connection& link, thread& job, std::string_view work_directory, std::string_view uid_list_path,
                   const pop_receive_options& options) {
    long count = 0;
    net_result code = ask_count(link, job, count);
    if (code != net_result::ok) return code;
    // What an interrupted receive fetched is in the list before anything new is.
    if (!fold_received_ids(work_directory)) return net_result::file_error;

    receive_state state;
    state.work_directory = work_directory;
    state.uid_list_path = uid_list_path;
    state.options = &options;
    state.count = count;
    code = load_uid_list(uid_list_path, state.known);
    if (code != net_result::ok) return code;
    bool in_step = true, refused = false;
    if (count > 0) code = ask_ids(link, job, count, state.ids, in_step, refused);
    if (refused && options.remove && !state.known.present) {
        state.without_ids = true;
        code = net_result::ok;
    }
    if (code != net_result::ok) {
        if (!in_step) link.close_gently(false);
        return code;
    }
    state.next_number = next_download_number(work_directory);
    job.set_progress(0, static_cast<int>(std::min<long>(count, std::numeric_limits<int>::max())));
    code = transfer(link, job, state);

    if (!state.in_step()) {
        // Answers are still due: no QUIT can follow, and without it the
        // server deletes nothing of this session.
        link.close_gently(false);
    } else if (options.remove) {
        net_result flushed = make_downloads_durable(link, job, state);
        if (code == net_result::ok) code = flushed;
    }
    // A whole round leaves the ids of the server's messages; one cut short
    // adds what it fetched to the old list.
    if (code == net_result::ok && !state.without_ids) {
        if (!write_uid_list(uid_list_path, state.ids)) code = net_result::file_error;
        kill_point("listed");
    }
    if (code == net_result::ok) {
        state.note.remove();
        return code;
    }
    state.note.close();
    if (!fold_received_ids(work_directory) && code == net_result::ok) code = net_result::file_error;
    return code;
}

net_result check(connection& link, thread& job, std::string_view uid_list_path, bool remove, bool& new_mail) {
    long count = 0;
    net_result code = ask_count(link, job, count);
    if (code != net_result::ok) return code;

    known_ids known;
    code = load_uid_list(uid_list_path, known);
    if (code != net_result::ok || count == 0) return code;
    if (remove && !known.present) {
        new_mail = true;
        return code;
    }
    std::vector<std::string> ids;
    bool in_step = true, refused = false;
    code = ask_ids(link, job, count, ids, in_step, refused);
    if (!in_step) link.close_gently(false);
    if (code != net_result::ok) return code;
    new_mail = std::any_of(ids.begin(), ids.end(), [&](const std::string& id) { return !known.contains(id); });
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
    bool pipelining = false;
    std::string sasl_names;  // the names of the "SASL" line
};

// What a login learned, for the receive after it.
void tell_offered(const capabilities& offered, pop_capabilities* told) {
    if (told) *told = {true, offered.pipelining};
}

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
            if (equals_nocase(line, "PIPELINING")) offered.pipelining = true;
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
                     std::string_view stls_host, pop_capabilities* told) {
    net_result code = link.read_pop_reply(job);
    if (code != net_result::ok) return code;
    const std::string greeting = link.line();
    if (!stls_host.empty()) {
        capabilities offered;
        code = upgrade(link, job, stls_host, offered);
        if (code != net_result::ok) return code;
        tell_offered(offered, told);
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
                            std::string_view host, int port, std::string_view stls_host, pop_capabilities* told) {
    net_result code = link.read_pop_reply(job);
    if (code != net_result::ok) return code;
    capabilities offered;
    code = stls_host.empty() ? ask_capabilities(link, job, offered) : upgrade(link, job, stls_host, offered);
    if (code != net_result::ok && code != net_result::error_reply) return code;
    tell_offered(offered, told);
    bearer_mechanism mechanism = choose_bearer_mechanism(offered.sasl_names);
    // A server that does not list its mechanisms may still take the
    // one the large providers take.
    if (mechanism == bearer_mechanism::none) mechanism = bearer_mechanism::xoauth2;
    std::string message = bearer_first_message(mechanism, user, host, port, token);
    return bearer_login(link, job, pop3_bearer, mechanism, message);
}

net_result pop_ask_capabilities(connection& link, thread& job, pop_capabilities& told) {
    if (told.asked) return net_result::ok;
    capabilities offered;
    net_result code = ask_capabilities(link, job, offered);
    if (code != net_result::ok && code != net_result::error_reply) return code;
    tell_offered(offered, &told);
    return net_result::ok;
}

net_result pop_receive(connection& link, thread& job, std::string_view work_directory, std::string_view uid_list_path,
                       const pop_receive_options& options) {
    try {
        return receive(link, job, work_directory, uid_list_path, options);
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
