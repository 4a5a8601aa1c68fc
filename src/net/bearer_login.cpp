#include "net/bearer_login.h"

#include "base/secret_wipe.h"
#include "text/base64.h"

namespace qm {

namespace {

constexpr std::string_view line_end = "\r\n";

// `visible` and the secret in one write, not bound to the line buffer (an
// access token is longer than any command); the trace shows the visible part.
net_result send_secret_line(connection& link, thread& job, std::string_view visible, const std::string& secret) {
    std::string line;
    line.reserve(visible.size() + secret.size() + line_end.size());
    line.append(visible).append(secret).append(line_end);
    net_result code = link.send_bytes(job, line);
    wipe_password(line);
    if (code == net_result::ok && link.tracing()) {
        link.set_trace_prefix("C: ");
        link.trace(job, std::string(visible) + "****\r\n");
    }
    return code;
}

bool is_transport_failure(net_result code) { return code != net_result::ok && code != net_result::error_reply; }

}  // namespace

net_result bearer_login(connection& link, thread& job, const bearer_protocol& protocol, bearer_mechanism mechanism,
                        std::string& first_message) {
    std::string encoded = base64_encode_text(first_message);
    wipe_password(first_message);
    const std::string command = "AUTH " + std::string(bearer_mechanism_name(mechanism));
    net_result code;
    if (command.size() + 1 + encoded.size() + line_end.size() <= protocol.command_with_response_limit) {
        code = send_secret_line(link, job, command + " ", encoded);
    } else {
        link.line() = command + std::string(line_end);
        code = link.send_line(job, true);
        if (code == net_result::ok) code = protocol.read_reply(link, job);
        if (code == net_result::ok && !link.line().starts_with(protocol.challenge)) code = net_result::error_reply;
        if (code == net_result::ok) code = send_secret_line(link, job, "", encoded);
    }
    wipe_password(encoded);
    if (code != net_result::ok) return code;

    code = protocol.read_reply(link, job);
    if (is_transport_failure(code)) return code;
    if (code == net_result::ok && link.line().starts_with(protocol.success)) return net_result::ok;
    if (code == net_result::ok && link.line().starts_with(protocol.challenge)) {
        // The error comes as a challenge; the server ends the exchange
        // after the client's answer to it.
        link.set_error_detail(bearer_error_text(without_line_end(link.line().substr(protocol.challenge.size()))));
        link.line() = std::string(bearer_error_answer(mechanism)) + std::string(line_end);
        code = link.send_line(job, true);
        if (code == net_result::ok) code = protocol.read_reply(link, job);
        return is_transport_failure(code) ? code : net_result::token_refused;
    }
    link.set_error_detail(without_line_end(link.line()));
    return net_result::token_refused;
}

}  // namespace qm
