#include "net/smtp_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "message/header_fields.h"
#include "message/mime_reader.h"
#include "net/md5.h"
#include "net/result_codes.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "text/base64.h"
#include "text/find_nocase.h"
#include "text/mail_address.h"

namespace qm {

namespace {

// The longest command that fits into the line buffer, CR LF included.
constexpr std::size_t command_limit = reply_line_capacity - 1;
constexpr std::string_view line_end = "\r\n";
constexpr std::string_view end_of_data = "\r\n.\r\n";
constexpr std::size_t display_name_capacity = 128;

void wipe(std::string& text) { std::fill(text.begin(), text.end(), '*'); }

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

int send_and_read(connection& link, thread& job) {
    int code = link.send_line(job, true);
    if (code != result_ok) return code;
    return link.read_smtp_reply(job, nullptr);
}

int command(connection& link, thread& job, std::string_view verb, std::string_view argument = {}) {
    set_command(link, verb, argument);
    return send_and_read(link, job);
}

// Sends the line buffer without tracing it, then overwrites it from `visible`
// on with '*' (keeping its line end); with `traced`, the masked line is
// what the trace shows.
int send_secret(connection& link, thread& job, std::size_t visible, bool traced) {
    int code = link.send_line(job, false);
    std::string& line = link.line();
    std::size_t end = line.ends_with(line_end) ? line.size() - line_end.size() : line.size();
    if (visible < end) std::fill(line.begin() + static_cast<std::ptrdiff_t>(visible),
                                 line.begin() + static_cast<std::ptrdiff_t>(end), '*');
    if (code == result_ok && traced && link.tracing()) {
        link.set_trace_prefix("C: ");
        link.trace(job, line);
    }
    return code;
}

// The reply that ends a login: a refusal means the password was wrong.
int final_login_reply(connection& link, thread& job) {
    int code = link.read_smtp_reply(job, nullptr);
    return code == result_error_reply ? result_bad_password : code;
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

int login_with_login(connection& link, thread& job, const std::string& user, const std::string& password) {
    int code = command(link, job, "AUTH LOGIN");
    if (code != result_ok) return code;
    // A prompt with a colon ("Username:") is plain text and wants the
    // credentials as they are; a Base64 prompt wants them encoded.
    std::string_view prompt = link.line();
    bool plain_text = prompt.size() > 4 && prompt.find(':', 4) != std::string_view::npos;

    code = command(link, job, "", plain_text ? user : base64_encode_text(user));
    if (code != result_ok) return code;

    std::string& line = link.line();
    line.reserve(reply_line_capacity);
    if (plain_text) {
        line.assign(password);
    } else {
        std::string encoded = base64_encode_text(password);
        line.assign(encoded);
        wipe(encoded);
    }
    line.append(line_end);
    code = send_secret(link, job, 0, false);
    if (code != result_ok) return code;
    return final_login_reply(link, job);
}

int login_with_plain(connection& link, thread& job, const std::string& user, const std::string& password) {
    // Authorisation id, authentication id and password, separated by zero bytes.
    std::string token;
    token.reserve(2 * user.size() + password.size() + 2);
    token.append(user).append(1, '\0').append(user).append(1, '\0').append(password);
    std::string encoded = base64_encode_text(token);
    wipe(token);
    constexpr std::string_view verb = "AUTH PLAIN ";
    std::string& line = link.line();
    line.reserve(reply_line_capacity);
    line.assign(verb).append(encoded).append(line_end);
    wipe(encoded);
    int code = send_secret(link, job, verb.size(), true);
    if (code != result_ok) return code;
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

int login_with_cram_md5(connection& link, thread& job, const std::string& user, const std::string& password) {
    int code = command(link, job, "AUTH CRAM-MD5");
    if (code != result_ok) return code;
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
    wipe(response);
    // The digest answers this one challenge only, but it is shown no more
    // than a password would be.
    code = send_secret(link, job, 0, true);
    if (code != result_ok) return code;
    return final_login_reply(link, job);
}

int start(connection& link, thread& job, std::string_view greeting_name, const std::string* user,
          const std::string& password) {
    int code = link.read_smtp_reply(job, nullptr);
    if (code != result_ok) return code;
    if (!user) return command(link, job, "HELO ", greeting_name);

    set_command(link, "EHLO ", greeting_name);
    code = link.send_line(job, true);
    if (code != result_ok) return code;
    int mechanism = auth_none;
    code = link.read_smtp_reply(job, &mechanism);
    if (code != result_ok) return code;
    if (mechanism == auth_none) return result_error_reply;
    if (!credentials_fit(mechanism, *user, password)) return result_bad_password;
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

// The number of a queue file name ("7.smt" gives 7), or -1 when the name is
// no number.
long long queue_number(std::string_view name) {
    std::string_view stem = name.substr(0, name.size() - smtp_queue_suffix.size());
    if (stem.empty() || stem.size() > 18 || !std::all_of(stem.begin(), stem.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return -1;
    long long number = 0;
    for (char c : stem) number = number * 10 + (c - '0');
    return number;
}

// The queue files in number order; names that are no number come last, by name.
std::optional<std::vector<std::string>> queue_files(std::string_view directory) {
    auto names = read_directory_names(directory);
    if (!names) return std::nullopt;
    std::vector<std::pair<long long, std::string>> found;
    for (std::string& name : *names) {
        if (name.size() <= smtp_queue_suffix.size() || !std::string_view(name).ends_with(smtp_queue_suffix)) continue;
        long long number = queue_number(name);
        found.emplace_back(number < 0 ? -1 : number, std::move(name));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if ((a.first < 0) != (b.first < 0)) return a.first >= 0;
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    });
    std::vector<std::string> files;
    for (auto& entry : found) files.push_back(std::move(entry.second));
    return files;
}

// The scratch copy of a queue file, deleted however its use ends.
class scratch_copy {
public:
    explicit scratch_copy(std::string path) : path_(std::move(path)) {}
    ~scratch_copy() { delete_file(path_); }
    scratch_copy(const scratch_copy&) = delete;
    scratch_copy& operator=(const scratch_copy&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Where the header of the message in `bytes` ends: after its first empty
// line (CR LF or LF alone), as the text-mode readers find it; npos when the
// bytes hold no empty line yet.
std::size_t header_end(std::string_view bytes) {
    if (bytes.starts_with("\n")) return 1;
    if (bytes.starts_with("\r\n")) return 2;
    std::size_t lf = bytes.find("\n\n"), crlf = bytes.find("\n\r\n");
    if (lf == std::string_view::npos && crlf == std::string_view::npos) return std::string_view::npos;
    return lf < crlf ? lf + 2 : crlf + 3;
}

// Copies the header of the queue file, up to its empty line, byte for byte:
// all the sender is read from. (A message of megabytes is not copied whole
// only to read its first lines.)
bool copy_header(const std::string& path, const std::string& copy_path) {
    constexpr std::size_t block_size = 16 * 1024;
    file_handle file = open_file(path, "rb");
    if (!file) return false;
    std::string bytes;
    std::size_t end = std::string::npos;
    while (end == std::string::npos) {
        std::size_t old_size = bytes.size();
        bytes.resize(old_size + block_size);
        std::size_t count = std::fread(bytes.data() + old_size, 1, block_size, file.get());
        bytes.resize(old_size + count);
        if (count == 0) {
            if (std::ferror(file.get())) return false;
            break;
        }
        end = header_end(bytes);
    }
    if (end != std::string::npos) bytes.resize(end);
    return write_binary_file(copy_path, bytes);
}

// The envelope sender: the first address of "From", read from a copy of the
// queue file's header whose folded lines were joined. 10 or 14 (no From, or
// an item without an address: that would be the null sender of a bounce).
int sender_address(const std::string& path, std::string& sender) {
    scratch_copy copy(path + std::string(smtp_copy_suffix));
    if (!copy_header(path, copy.path())) return result_file_error;
    if (!unfold_header_file(copy.path())) return result_file_error;
    std::string name;
    if (!get_header_address(copy.path(), "From", 0, sender, reply_line_capacity, name, display_name_capacity) ||
        sender.empty())
        return result_no_sender;
    return result_ok;
}

// The header of a queue file as the address readers see it: read in text
// mode, in message line pieces, up to its blank line.
bool read_header(std::string_view path, std::string& header) {
    header.clear();
    text_reader reader(path);
    if (!reader.is_open()) return false;
    std::string piece;
    bool cut = false;
    while (reader.read_piece(piece, message_line_capacity)) {
        header += piece;
        if (piece == "\n" && !cut) break;
        cut = piece.back() != '\n';
    }
    return !reader.failed();
}

// Whether a header line begins with "Bcc", as remove_bcc finds its fields.
bool has_bcc_field(std::string_view header) {
    for (std::size_t pos = 0; pos < header.size();) {
        std::size_t end = header.find('\n', pos);
        std::string_view line = header.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (starts_with_nocase(line, "Bcc")) return true;
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return false;
}

// One RCPT TO for every address of To, Cc and Bcc, in that order. An item
// without an address is skipped: "RCPT TO:<>" names nobody.
int send_recipients(connection& link, thread& job, std::string_view header) {
    std::string address, name;
    for (std::string_view field : {"To", "Cc", "Bcc"}) {
        for (int index = 0; get_header_text_address(header, field, index, address, reply_line_capacity, name,
                                                    display_name_capacity);
             ++index) {
            if (address.empty()) continue;
            int code = smtp_envelope(link, job, "RCPT TO", address);
            if (code != result_ok) return code;
        }
    }
    return result_ok;
}

int send_message(connection& link, thread& job, const std::string& path) {
    std::string sender;
    int code = sender_address(path, sender);
    if (code != result_ok) return code;
    code = smtp_envelope(link, job, "MAIL FROM", sender);
    if (code != result_ok) return code;

    std::string header;
    if (!read_header(path, header)) {
        smtp_reset(link, job);
        return result_file_error;
    }
    code = send_recipients(link, job, header);
    if (code != result_ok) {
        smtp_reset(link, job);
        return code;
    }
    // The file as it goes out holds no Bcc; one without is left untouched.
    if (has_bcc_field(header) && !remove_bcc(path)) {
        smtp_reset(link, job);
        return result_file_error;
    }
    code = command(link, job, "DATA");
    if (code == result_ok) code = smtp_send_file(link, job, path);
    if (code != result_ok) {
        smtp_reset(link, job);
        return code;
    }
    // Handed over: a file that stayed would be sent again by the next job.
    return delete_file(path) ? result_ok : result_file_error;
}

int send_queue(connection& link, thread& job, std::string_view queue_directory) {
    auto files = queue_files(queue_directory);
    if (!files) return result_ok;  // nothing can be queued where nothing can be listed
    for (const std::string& name : *files) {
        int code = send_message(link, job, std::string(queue_directory) + name);
        if (code != result_ok) return code;
    }
    return result_ok;
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

// Sends the stuffed data in writes of about smtp_file_buffer_size; what is
// left for the last write stays in `pending`.
int send_data(connection& link, thread& job, std::FILE* file, std::string& pending) {
    chunk_reader reader(file);
    pending.reserve(smtp_file_buffer_size + smtp_data_chunk + end_of_data.size() + 1);
    bool line_start = true;
    std::string_view chunk;
    for (;;) {
        if (!reader.next(chunk)) return result_file_error;
        if (chunk.empty()) return result_ok;
        if (line_start && chunk.front() == '.') pending.push_back('.');
        pending.append(chunk);
        line_start = chunk.back() == '\n';
        link.transfer_trace_dot(job);
        if (pending.size() >= smtp_file_buffer_size) {
            int code = link.send_bytes(job, pending);
            if (code != result_ok) return code;
            pending.clear();
        }
    }
}

int send_file(connection& link, thread& job, std::string_view file_path) {
    int code = result_file_error;
    std::string pending;
    if (file_handle file = open_file(file_path, "rb")) {
        std::setvbuf(file.get(), nullptr, _IONBF, 0);  // the chunk reader buffers
        link.begin_transfer_trace(job, "C: ");
        code = send_data(link, job, file.get(), pending);
        link.end_transfer_trace(job);
    }
    // The end mark after the file's last byte; the rest of the data goes with it.
    if (code == result_ok) {
        pending.append(end_of_data);
        code = link.send_bytes(job, pending);
    }
    if (code != result_ok) {
        // After DATA every byte is message text, RSET included; only a
        // connection that ends before the end mark makes the server drop
        // what it got so far, instead of delivering a cut message.
        link.close_gently();
        return code;
    }
    return link.read_smtp_reply(job, nullptr);
}

}  // namespace

int smtp_start(connection& link, thread& job, std::string_view greeting_name, const std::string* user,
               std::string& password) {
    try {
        return start(link, job, greeting_name, user, password);
    } catch (const std::bad_alloc&) {
        return result_no_memory;
    }
}

int smtp_send_queue(connection& link, thread& job, std::string_view queue_directory) {
    try {
        return send_queue(link, job, queue_directory);
    } catch (const std::bad_alloc&) {
        return result_no_memory;
    }
}

int smtp_envelope(connection& link, thread& job, std::string_view word, std::string_view address) {
    int code = result_error_reply;
    if (fits_line(word.size() + address.size() + 3)) {
        std::string& line = link.line();
        line.assign(word).append(":<").append(address).append(">").append(line_end);
        code = send_and_read(link, job);
    }
    if (code != result_ok) smtp_reset(link, job);
    return code;
}

int smtp_send_file(connection& link, thread& job, std::string_view file_path) {
    try {
        return send_file(link, job, file_path);
    } catch (const std::bad_alloc&) {
        link.close_gently();
        return result_no_memory;
    }
}

void smtp_reset(connection& link, thread& job) { command(link, job, "RSET"); }

void smtp_quit(connection& link, thread& job) {
    set_command(link, "QUIT");
    if (link.send_line(job, true) == result_ok) link.read_smtp_reply(job, nullptr);
}

std::string smtp_greeting_name(std::string_view address) { return std::string(address.substr(0, address.find('@'))); }

}  // namespace qm
