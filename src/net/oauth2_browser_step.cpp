#include "net/oauth2_browser_step.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "base/hex_digits.h"
#include "base/secret_wipe.h"
#include "net/http_form_post.h"
#include "net/pkce.h"
#include "net/sigpipe_guard.h"
#include "platform/program_launch.h"

namespace qm {

namespace {

using clock = std::chrono::steady_clock;
constexpr int poll_slice_ms = 10;

// The pages the browser shows after the redirect (UTF-8).
constexpr std::string_view page_done =
    "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Quillmere</title></head><body>"
    "<p>Quillmere: 認可を受け取りました. このページは閉じてかまいません.</p>"
    "<p>Quillmere has the authorization. You may close this page.</p></body></html>";
constexpr std::string_view page_refused =
    "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Quillmere</title></head><body>"
    "<p>Quillmere: 認可されませんでした.</p><p>The authorization was not given.</p></body></html>";
constexpr std::string_view page_unknown =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Quillmere</title></head><body>"
    "<p>This is not the sign-in Quillmere is waiting for.</p></body></html>";

std::string percent_decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out.push_back(' ');
        } else if (text[i] == '%' && i + 2 < text.size() && hex_digit_value(text[i + 1]) >= 0 &&
                   hex_digit_value(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex_digit_value(text[i + 1]) * 16 + hex_digit_value(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

void append_parameter(std::string& address, std::string_view name, std::string_view value) {
    address += address.find('?') == std::string::npos ? '?' : '&';
    address += form_body({{name, value}});
}

void answer_browser(int client, std::string_view status, std::string_view page) {
    std::string response = "HTTP/1.1 " + std::string(status) +
                           "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                           "Connection: close\r\nContent-Length: " +
                           std::to_string(page.size()) + "\r\n\r\n" + std::string(page);
    sigpipe_guard guard;
    std::string_view rest = response;
    while (!rest.empty()) {
        ssize_t sent = ::send(client, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
}

// The request head of one connection (up to its blank line), read within
// redirect_read_limit; empty when none came.
std::string read_request_head(thread& job, int client) {
    std::string head;
    const auto deadline = clock::now() + redirect_read_limit;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < redirect_request_limit) {
        if (job.cancel_requested() || clock::now() >= deadline) return "";
        pollfd waiting{client, POLLIN, 0};
        if (::poll(&waiting, 1, poll_slice_ms) <= 0) continue;
        ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
        if (count <= 0) break;
        head.append(buffer, static_cast<std::size_t>(count));
    }
    return head;
}

struct client_socket {
    int fd;
    ~client_socket() { ::close(fd); }
};

}  // namespace

redirect_query::~redirect_query() { wipe_password(code); }

std::string authorization_address(const oauth2_registration& registration, std::string_view redirect_uri,
                                  std::string_view state, std::string_view challenge) {
    std::string address = registration.authorize_url;
    append_parameter(address, "response_type", "code");
    append_parameter(address, "client_id", registration.client_id);
    append_parameter(address, "redirect_uri", redirect_uri);
    if (!registration.scope.empty()) append_parameter(address, "scope", registration.scope);
    append_parameter(address, "state", state);
    append_parameter(address, "code_challenge", challenge);
    append_parameter(address, "code_challenge_method", "S256");
    return address;
}

redirect_query read_redirect_query(std::string_view head) {
    redirect_query query;
    if (!head.starts_with("GET ")) return query;
    std::string_view target = head.substr(4, head.find_first_of(" \r\n", 4) - 4);
    query.is_request = true;
    const std::size_t mark = target.find('?');
    if (mark == std::string_view::npos) return query;
    std::string_view rest = target.substr(mark + 1);
    while (!rest.empty()) {
        std::string_view pair = rest.substr(0, rest.find('&'));
        rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
        const std::size_t equals = pair.find('=');
        const std::string_view name = pair.substr(0, equals);
        std::string value = equals == std::string_view::npos ? "" : percent_decoded(pair.substr(equals + 1));
        if (name == "code") query.code.swap(value);
        else if (name == "state") query.state.swap(value);
        else if (name == "error") query.error.swap(value);
        else if (name == "error_description") query.error_description.swap(value);
        wipe_password(value);
    }
    return query;
}

thread_oauth2_login::~thread_oauth2_login() {
    request_cancel();
    close_handle();
    close_listener();
    wipe_password(verifier_);
}

void thread_oauth2_login::close_listener() {
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

bool thread_oauth2_login::prepare() {
    close_listener();
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = 0;  // a free port
    socklen_t length = sizeof local;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close_listener();
        return false;
    }
    verifier_ = pkce_verifier();
    state_ = random_url_token(16);
    if (verifier_.empty() || state_.empty()) {
        close_listener();
        return false;
    }
    redirect_uri_ = "http://127.0.0.1:" + std::to_string(ntohs(local.sin_port)) + "/";
    address_ = authorization_address(registration, redirect_uri_, state_, pkce_challenge(verifier_));
    return true;
}

net_result thread_oauth2_login::wait_for_code(std::string& code) {
    const auto deadline = clock::now() + browser_wait_limit;
    while (listener_ >= 0) {
        if (cancel_requested()) return net_result::cancelled;
        if (clock::now() >= deadline) {
            error_detail_ = "no answer came from the browser";
            return net_result::authorization_failed;
        }
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, poll_slice_ms) <= 0) continue;
        int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted < 0) continue;
        client_socket client{accepted};
        redirect_query query = read_redirect_query(read_request_head(*this, client.fd));
        if (!query.is_request || query.state != state_) {
            answer_browser(client.fd, "400 Bad Request", page_unknown);
            continue;
        }
        // The one answer for this request: nothing else reaches the listener.
        close_listener();
        if (!query.error.empty() || query.code.empty()) {
            answer_browser(client.fd, "200 OK", page_refused);
            error_detail_ = query.error.empty() ? "no code in the redirect" : query.error;
            if (!query.error_description.empty()) error_detail_ += ": " + query.error_description;
            return net_result::authorization_failed;
        }
        answer_browser(client.fd, "200 OK", page_done);
        code.swap(query.code);
        return net_result::ok;
    }
    error_detail_ = "the listener for the browser is not open";
    return net_result::authorization_failed;
}

net_result thread_oauth2_login::talk() {
    std::string code;
    net_result result = wait_for_code(code);
    if (result == net_result::ok)
        result = redeem_authorization_code(*this, registration, code, verifier_, redirect_uri_, tokens, error_detail_);
    wipe_password(code);
    wipe_password(verifier_);
    return result;
}

void thread_oauth2_login::run() {
    net_result code = talk();
    close_listener();
    finish(code);
}

bool open_in_browser(std::string_view address) {
    std::string program;
    if (const char* browser = std::getenv("BROWSER"); browser && *browser) {
        program = browser;
        program = program.substr(0, program.find(':'));
    }
    return start_program(program, address);
}

}  // namespace qm
