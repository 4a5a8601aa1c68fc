#include "net/smtp_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "base/secret_wipe.h"
#include "net/bearer_login.h"
#include "net/client_name.h"
#include "net/md5.h"
#include "net/result_codes.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/work_directory.h"
#include "text/base64.h"
#include "base/find_nocase.h"

namespace qm {

namespace {

// The longest command that fits into the line buffer, CR LF included.
constexpr std::size_t command_limit = reply_line_capacity - 1;
constexpr std::string_view line_end = "\r\n";
constexpr std::string_view end_of_data = "\r\n.\r\n";


// Builds "<verb><argument>\r\n" in the line buffer. A too long argument is
// cut so that the command keeps its line end.
void set_command(connection& link, std::string_view verb, std::string_view argument = {}) {
    std::string& line = link.line();
    // Room for the whole command up front: a secret is never left behind in a
    // buffer given up by a reallocation.
    line.reserve(reply_line_capacity);
    std::size_t fixed = verb.size() + line_end.size();
    std::size_t room = fixed < command_limit ? command_limit - fixed : 0;
    line.assign(verb);
    line.append(argument.substr(0, room));
    line.append(line_end);
}

bool fits_line(std::size_t length_without_line_end) { return length_without_line_end + line_end.size() <= command_limit; }

std::size_t base64_length(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

net_result send_and_read(connection& link, thread& job) {
    net_result code = link.send_line(job, true);
    if (code != net_result::ok) return code;
    return link.read_smtp_reply(job, nullptr);
}

net_result command(connection& link, thread& job, std::string_view verb, std::string_view argument = {}) {
    set_command(link, verb, argument);
    return send_and_read(link, job);
}

// Sends the line buffer without tracing it, then overwrites it from `visible`
// on with '*' (keeping its line end); with `traced`, the masked line is
// what the trace shows.
net_result send_secret(connection& link, thread& job, std::size_t visible, bool traced) {
    net_result code = link.send_line(job, false);
    std::string& line = link.line();
    std::size_t end = line.ends_with(line_end) ? line.size() - line_end.size() : line.size();
    if (visible < end) std::fill(line.begin() + static_cast<std::ptrdiff_t>(visible),
                                 line.begin() + static_cast<std::ptrdiff_t>(end), '*');
    if (code == net_result::ok && traced && link.tracing()) {
        link.set_trace_prefix("C: ");
        link.trace(job, line);
    }
    return code;
}

// The reply that ends a login: a refusal means the password was wrong.
net_result final_login_reply(connection& link, thread& job) {
    net_result code = link.read_smtp_reply(job, nullptr);
    return code == net_result::error_reply ? net_result::bad_password : code;
}

// Whether every line the mechanism would send fits the line buffer: a
// credential is never cut.
bool credentials_fit(int mechanism, const std::string& user, const std::string& password) {
    switch (mechanism) {
    case auth_login:  // the Base64 form is the longer of the two a server may ask for
        return fits_line(base64_length(user.size())) && fits_line(base64_length(password.size()));
    case auth_plain:
        return fits_line(std::string_view("AUTH PLAIN ").size() + base64_length(2 * user.size() + password.size() + 2));
    case auth_cram_md5:
        return fits_line(base64_length(user.size() + 1 + 32));
    default:
        return true;
    }
}

net_result login_with_login(connection& link, thread& job, const std::string& user, const std::string& password) {
    net_result code = command(link, job, "AUTH LOGIN");
    if (code != net_result::ok) return code;
    // A prompt with a colon ("Username:") is plain text and wants the
    // credentials as they are; a Base64 prompt wants them encoded.
    std::string_view prompt = link.line();
    bool plain_text = prompt.size() > 4 && prompt.find(':', 4) != std::string_view::npos;

    code = command(link, job, "", plain_text ? user : base64_encode_text(user));
    if (code != net_result::ok) return code;

    std::string& line = link.line();
    line.reserve(reply_line_capacity);
    if (plain_text) {
        line.assign(password);
    } else {
        std::string encoded = base64_encode_text(password);
        line.assign(encoded);
        wipe_password(encoded);
    }
    line.append(line_end);
    code = send_secret(link, job, 0, false);
    if (code != net_result::ok) return code;
    return final_login_reply(link, job);
}

net_result login_with_plain(connection& link, thread& job, const std::string& user, const std::string& password) {
    // Authorisation id, authentication id and password, separated by zero bytes.
    std::string token;
    token.reserve(2 * user.size() + password.size() + 2);
    token.append(user).append(1, '\0').append(user).append(1, '\0').append(password);
    std::string encoded = base64_encode_text(token);
    wipe_password(token);
    constexpr std::string_view verb = "AUTH PLAIN ";
    std::string& line = link.line();
    line.reserve(reply_line_capacity);
    line.assign(verb).append(encoded).append(line_end);
    wipe_password(encoded);
    net_result code = send_secret(link, job, verb.size(), true);
    if (code != net_result::ok) return code;
    return final_login_reply(link, job);
}

// The challenge of a CRAM-MD5 reply: its Base64 text from the fifth
// character to the line end, decoded four characters at a time (groups that
// do not decode are skipped), up to the first zero byte.
std::string cram_challenge(std::string_view reply) {
    std::string_view text = reply.size() > 4 ? reply.substr(4) : std::string_view();
    text = text.substr(0, text.find_first_of("\r\n"));
    std::string decoded;
    for (std::size_t pos = 0; pos < text.size(); pos += 4) base64_decode_group(text.substr(pos, 4), decoded);
    return decoded.substr(0, decoded.find('\0'));
}

net_result login_with_cram_md5(connection& link, thread& job, const std::string& user, const std::string& password) {
    net_result code = command(link, job, "AUTH CRAM-MD5");
    if (code != net_result::ok) return code;
    std::string challenge = cram_challenge(link.line());
    unsigned char digest[16];
    hmac_md5(challenge.data(), challenge.size(), password.data(), password.size(), digest);

    static constexpr char hex[] = "0123456789abcdef";
    std::string response = user + " ";
    for (unsigned char byte : digest) {
        response.push_back(hex[byte >> 4]);
        response.push_back(hex[byte & 15]);
    }
    std::fill(std::begin(digest), std::end(digest), 0);
    std::string& line = link.line();
    line.reserve(reply_line_capacity);
    line.assign(base64_encode_text(response)).append(line_end);
    wipe_password(response);
    // The digest answers this one challenge only, but it is shown no more
    // than a password would be.
    code = send_secret(link, job, 0, true);
    if (code != net_result::ok) return code;
    return final_login_reply(link, job);
}

// EHLO, STARTTLS and the handshake on the greeted plain connection.
net_result upgrade(connection& link, thread& job, std::string_view greeting_name, std::string_view host) {
    set_command(link, "EHLO ", greeting_name);
    net_result code = link.send_line(job, true);
    if (code != net_result::ok) return code;
    bool offered = false;
    code = link.read_smtp_reply(job, nullptr, &offered);
    if (code != net_result::ok) return code;
    if (!offered) {
        link.set_error_detail("STARTTLS is not in the EHLO reply");
        return net_result::tls_not_offered;
    }
    set_command(link, "STARTTLS");
    code = send_and_read(link, job);
    if (code == net_result::ok && !link.line().starts_with("220")) code = net_result::error_reply;
    if (code == net_result::error_reply) {
        link.set_error_detail(without_line_end(link.line()));
        return net_result::tls_refused;
    }
    if (code != net_result::ok) return code;
    code = link.start_tls(job, host);
    // After a failed handshake or injected bytes the stream is nobody's to
    // speak to: not even QUIT goes out.
    if (code != net_result::ok) link.close_gently(false);
    return code;
}

// The greeting, and the upgrade when one is asked for; the name EHLO says.
net_result greet(connection& link, thread& job, std::string_view given_name, std::string_view starttls_host,
                 std::string& greeting_name) {
    net_result code = link.read_smtp_reply(job, nullptr);
    if (code != net_result::ok) return code;
    greeting_name =
        given_name.empty() ? client_name(machine_domain_name(), link.local_address_literal()) : std::string(given_name);
    return starttls_host.empty() ? net_result::ok : upgrade(link, job, greeting_name, starttls_host);
}

net_result read_auth_reply(connection& link, thread& job) { return link.read_smtp_reply(job, nullptr); }

constexpr bearer_protocol smtp_bearer{"334 ", "235", smtp_auth_line_limit, read_auth_reply};

net_result start_bearer(connection& link, thread& job, std::string_view given_name, std::string_view user,
                        const std::string& token, std::string_view host, int port, std::string_view starttls_host) {
    std::string greeting_name;
    net_result code = greet(link, job, given_name, starttls_host, greeting_name);
    if (code != net_result::ok) return code;
    set_command(link, "EHLO ", greeting_name);
    code = link.send_line(job, true);
    if (code != net_result::ok) return code;
    std::string names;
    code = link.read_smtp_reply(job, nullptr, nullptr, &names);
    if (code != net_result::ok) return code;
    const bearer_mechanism mechanism = choose_bearer_mechanism(names);
    if (mechanism == bearer_mechanism::none) {
        link.set_error_detail("the server offers neither OAUTHBEARER nor XOAUTH2");
        return net_result::token_refused;
    }
    std::string message = bearer_first_message(mechanism, user, host, port, token);
    return bearer_login(link, job, smtp_bearer, mechanism, message);
}

net_result start(connection& link, thread& job, std::string_view given_name, const std::string* user,
          const std::string& password, std::string_view starttls_host) {
    std::string greeting_name;
    net_result code = greet(link, job, given_name, starttls_host, greeting_name);
    if (code != net_result::ok) return code;
    const bool upgraded = !starttls_host.empty();
    // After STARTTLS the server forgets the first EHLO: it is said again.
    // Without a login, a server that does not know EHLO is greeted with HELO.
    if (!user) {
        code = command(link, job, "EHLO ", greeting_name);
        if (code == net_result::error_reply && !upgraded) code = command(link, job, "HELO ", greeting_name);
        return code;
    }

    set_command(link, "EHLO ", greeting_name);
    code = link.send_line(job, true);
    if (code != net_result::ok) return code;
    int mechanism = auth_none;
    code = link.read_smtp_reply(job, &mechanism);
    if (code != net_result::ok) return code;
    if (mechanism == auth_none) return net_result::error_reply;
    if (!credentials_fit(mechanism, *user, password)) return net_result::bad_password;
    switch (mechanism) {
    case auth_login:
        return login_with_login(link, job, *user, password);
    case auth_plain:
        return login_with_plain(link, job, *user, password);
    default:
        return login_with_cram_md5(link, job, *user, password);
    }
}

// ---- the queue ----

// The envelope prepared beside an outgoing file: its first line the sender
// (empty when the message names none), then one recipient a line.
bool read_envelope(const std::string& outgoing, std::string& sender, std::vector<std::string>& recipients) {
    text_reader reader(envelope_path(outgoing));
    if (!reader.is_open() || !reader.read_line(sender)) return false;
    std::string recipient;
    while (reader.read_line(recipient)) {
        if (!recipient.empty()) recipients.push_back(recipient);
    }
    return !reader.failed();
}

net_result send_message(connection& link, thread& job, const std::string& path) {
    std::string sender;
    std::vector<std::string> recipients;
    if (!read_envelope(path, sender, recipients)) return net_result::file_error;
    // A message without a sender would go out as a bounce ("MAIL FROM:<>").
    if (sender.empty()) return net_result::no_sender;
    net_result code = smtp_envelope(link, job, "MAIL FROM", sender);
    if (code != net_result::ok) return code;
    for (const std::string& recipient : recipients) {
        code = smtp_envelope(link, job, "RCPT TO", recipient);
        if (code != net_result::ok) return code;
    }
    code = command(link, job, "DATA");
    if (code == net_result::ok) code = smtp_send_file(link, job, path);
    if (code != net_result::ok) {
        smtp_reset(link, job);
        return code;
    }
    // Handed over: a file that stayed would be sent again by the next job.
    delete_file(envelope_path(path));
    return delete_file(path) ? net_result::ok : net_result::file_error;
}

net_result send_queue(connection& link, thread& job, std::string_view queue_directory) {
    const std::vector<std::string> names = outgoing_files(queue_directory);
    const int total = static_cast<int>(names.size());
    job.set_progress(0, total);
    int sent = 0;
    for (const std::string& name : names) {
        net_result code = send_message(link, job, std::string(queue_directory) + name);
        if (code != net_result::ok) return code;
        job.set_progress(++sent, total);
    }
    return net_result::ok;
}

// ---- the data ----

// Hands out a file in data chunks: at most smtp_data_chunk bytes, up to and
// including the first line feed among them.
class chunk_reader {
public:
    explicit chunk_reader(std::FILE* file) : file_(file), buffer_(smtp_file_buffer_size) {}

    // False when a read failed; an empty chunk at the end of the file.
    bool next(std::string_view& chunk) {
        if (end_ - pos_ < smtp_data_chunk && !at_end_ && !refill()) return false;
        const char* start = buffer_.data() + pos_;
        std::size_t window = std::min(smtp_data_chunk, end_ - pos_);
        const void* line_feed = std::memchr(start, '\n', window);
        std::size_t size = line_feed ? static_cast<std::size_t>(static_cast<const char*>(line_feed) - start) + 1 : window;
        chunk = std::string_view(start, size);
        pos_ += size;
        return true;
    }

private:
    bool refill() {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        while (end_ < buffer_.size()) {
            std::size_t count = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            end_ += count;
            if (count == 0) {
                if (std::ferror(file_)) return false;
                at_end_ = true;
                break;
            }
        }
        return true;
    }

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
};

// Turns file bytes into SMTP data: every line end becomes CR LF, a carriage
// return or line feed on its own included (servers read those in different
// ways, and a lone CR before "." is how a second message is smuggled into
// one), and a dot that begins a line is doubled.
class data_stuffer {
public:
    void add(std::string_view bytes, std::string& data) {
        for (char c : bytes) {
            if (carriage_return_) {
                end_line(data);
                if (c == '\n') continue;
            }
            if (c == '\r') {
                carriage_return_ = true;  // whether a line feed follows is seen with the next byte
            } else if (c == '\n') {
                end_line(data);
            } else {
                if (line_start_ && c == '.') data.push_back('.');
                data.push_back(c);
                line_start_ = false;
            }
        }
    }
    // The file's last byte was read.
    void finish(std::string& data) {
        if (carriage_return_) end_line(data);
    }

private:
    void end_line(std::string& data) {
        data.append(line_end);
        carriage_return_ = false;
        line_start_ = true;
    }

    bool carriage_return_ = false;
    bool line_start_ = true;
};

// Sends the stuffed data in writes of about smtp_file_buffer_size; what is
// left for the last write stays in `pending`.
net_result send_data(connection& link, thread& job, std::FILE* file, std::string& pending) {
    chunk_reader reader(file);
    // A chunk of bare line ends doubles in size.
    pending.reserve(smtp_file_buffer_size + 2 * smtp_data_chunk + end_of_data.size() + 2);
    data_stuffer stuffer;
    std::string_view chunk;
    for (;;) {
        if (!reader.next(chunk)) return net_result::file_error;
        if (chunk.empty()) {
            stuffer.finish(pending);
            return net_result::ok;
        }
        stuffer.add(chunk, pending);
        link.transfer_trace_dot(job);
        if (pending.size() >= smtp_file_buffer_size) {
            net_result code = link.send_bytes(job, pending);
            if (code != net_result::ok) return code;
            pending.clear();
        }
    }
}

net_result send_file(connection& link, thread& job, std::string_view file_path) {
    net_result code = net_result::file_error;
    std::string pending;
    if (file_handle file = open_file(file_path, "rb")) {
        std::setvbuf(file.get(), nullptr, _IONBF, 0);  // the chunk reader buffers
        link.begin_transfer_trace(job, "C: ");
        code = send_data(link, job, file.get(), pending);
        link.end_transfer_trace(job);
    }
    // The end mark after the file's last byte; the rest of the data goes with it.
    if (code == net_result::ok) {
        pending.append(end_of_data);
        code = link.send_bytes(job, pending);
    }
    if (code != net_result::ok) {
        // After DATA every byte is message text, RSET included; only a
        // connection that ends before the end mark makes the server drop
        // what it got so far, instead of delivering a cut message.
        link.close_gently();
        return code;
    }
    return link.read_smtp_reply(job, nullptr);
}

}  // namespace

net_result smtp_start(connection& link, thread& job, std::string_view greeting_name, const std::string* user,
               std::string& password, std::string_view starttls_host) {
    try {
        return start(link, job, greeting_name, user, password, starttls_host);
    } catch (const std::bad_alloc&) {
        return net_result::no_memory;
    }
}

net_result smtp_start_bearer(connection& link, thread& job, std::string_view greeting_name, std::string_view user,
                             const std::string& token, std::string_view host, int port,
                             std::string_view starttls_host) {
    try {
        return start_bearer(link, job, greeting_name, user, token, host, port, starttls_host);
    } catch (const std::bad_alloc&) {
        return net_result::no_memory;
    }
}

net_result smtp_send_queue(connection& link, thread& job, std::string_view queue_directory) {
    try {
        return send_queue(link, job, queue_directory);
    } catch (const std::bad_alloc&) {
        return net_result::no_memory;
    }
}

net_result smtp_envelope(connection& link, thread& job, std::string_view word, std::string_view address) {
    net_result code = net_result::error_reply;
    if (fits_line(word.size() + address.size() + 3)) {
        std::string& line = link.line();
        line.assign(word).append(":<").append(address).append(">").append(line_end);
        code = send_and_read(link, job);
    }
    if (code != net_result::ok) smtp_reset(link, job);
    return code;
}

net_result smtp_send_file(connection& link, thread& job, std::string_view file_path) {
    try {
        return send_file(link, job, file_path);
    } catch (const std::bad_alloc&) {
        link.close_gently();
        return net_result::no_memory;
    }
}

void smtp_reset(connection& link, thread& job) { command(link, job, "RSET"); }

void smtp_quit(connection& link, thread& job) {
    set_command(link, "QUIT");
    if (link.send_line(job, true) == net_result::ok) link.read_smtp_reply(job, nullptr);
}


}  // namespace qm
