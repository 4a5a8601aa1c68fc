#include "net/sasl_bearer.h"

#include <nlohmann/json.hpp>

#include "base/find_nocase.h"
#include "text/base64.h"

namespace qm {

namespace {

constexpr char separator = '\x01';
constexpr std::size_t error_text_limit = 200;

bool names_mechanism(std::string_view names, std::string_view mechanism) {
    std::size_t start = 0;
    while (start < names.size()) {
        std::size_t end = names.find_first_of(" \t\r\n", start);
        if (end == std::string_view::npos) end = names.size();
        if (equals_nocase(names.substr(start, end - start), mechanism)) return true;
        start = end + 1;
    }
    return false;
}

// RFC 7628 (through RFC 5801's saslname): ',' and '=' in the user are written =2C and =3D.
std::string escaped_user(std::string_view user) {
    std::string out;
    for (char c : user) {
        if (c == ',') out += "=2C";
        else if (c == '=') out += "=3D";
        else out.push_back(c);
    }
    return out;
}

std::string printable_line(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, error_text_limit)) out.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
    return out;
}

}  // namespace

bearer_mechanism choose_bearer_mechanism(std::string_view offered_names) {
    if (names_mechanism(offered_names, "OAUTHBEARER")) return bearer_mechanism::oauthbearer;
    if (names_mechanism(offered_names, "XOAUTH2")) return bearer_mechanism::xoauth2;
    return bearer_mechanism::none;
}

std::string_view bearer_mechanism_name(bearer_mechanism mechanism) {
    switch (mechanism) {
    case bearer_mechanism::xoauth2: return "XOAUTH2";
    case bearer_mechanism::oauthbearer: return "OAUTHBEARER";
    default: return "";
    }
}

std::string bearer_first_message(bearer_mechanism mechanism, std::string_view user, std::string_view host, int port,
                                 std::string_view token) {
    std::string message;
    message.reserve(user.size() + host.size() + token.size() + 64);
    if (mechanism == bearer_mechanism::xoauth2) {
        message.append("user=").append(user).append(1, separator);
    } else {
        message.append("n,a=").append(escaped_user(user)).append(",").append(1, separator);
        message.append("host=").append(host).append(1, separator);
        message.append("port=").append(std::to_string(port)).append(1, separator);
    }
    message.append("auth=Bearer ").append(token).append(2, separator);
    return message;
}

std::string_view bearer_error_answer(bearer_mechanism mechanism) {
    return mechanism == bearer_mechanism::oauthbearer ? "AQ==" : "";
}

std::string bearer_error_text(std::string_view base64_challenge) {
    std::string decoded;
    if (!base64_decode_body(base64_challenge, decoded)) decoded.assign(base64_challenge);
    const nlohmann::json object = nlohmann::json::parse(decoded, nullptr, false);
    if (!object.is_object()) return printable_line(decoded);
    std::string text;
    for (const char* name : {"status", "scope", "schemes"}) {
        auto found = object.find(name);
        if (found == object.end()) continue;
        const std::string value = found->is_string() ? found->get<std::string>() : found->dump();
        text += (text.empty() ? "" : ", ") + std::string(name) + " " + value;
    }
    return printable_line(text.empty() ? decoded : text);
}

}  // namespace qm
