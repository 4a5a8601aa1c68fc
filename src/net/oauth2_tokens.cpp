#include "net/oauth2_tokens.h"

#include <nlohmann/json.hpp>

#include "base/secret_wipe.h"
#include "net/http_form_post.h"

namespace qm {

namespace {

using json = nlohmann::json;

std::string string_member(const json& object, const char* name) {
    auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// "invalid_grant: Token has been expired or revoked." as the endpoint put it.
std::string refusal_text(const json& object, long status) {
    std::string text = string_member(object, "error");
    const std::string description = string_member(object, "error_description");
    if (!description.empty()) text += (text.empty() ? "" : ": ") + description;
    return text.empty() ? "HTTP " + std::to_string(status) : text;
}

// The parsed answer's copies of the tokens go the way the answer does.
void wipe_strings(json& object) {
    for (auto& member : object.items())
        if (member.value().is_string()) wipe_password(member.value().get_ref<std::string&>());
}

net_result post_grant(thread& job, const oauth2_registration& registration, form_fields fields,
                      oauth2_tokens& tokens, std::string& detail) {
    fields.emplace_back("client_id", registration.client_id);
    if (!registration.client_secret.empty()) fields.emplace_back("client_secret", registration.client_secret);
    http_answer answer;
    net_result code = http_post_form(job, registration.token_url, fields, answer, detail);
    if (code != net_result::ok) return code == net_result::connect_failed ? net_result::authorization_failed : code;
    return read_token_answer(answer.status, answer.body, tokens, detail);
}

}  // namespace

oauth2_registration::~oauth2_registration() { wipe_password(client_secret); }

oauth2_tokens::~oauth2_tokens() {
    wipe_password(access_token);
    wipe_password(refresh_token);
}

net_result read_token_answer(long status, std::string_view body, oauth2_tokens& tokens, std::string& detail) {
    json object = json::parse(body, nullptr, false);
    if (!object.is_object()) object = json::object();
    struct wiped {
        json& object;
        ~wiped() { wipe_strings(object); }
    } on_return{object};
    if (status == 200) {
        tokens.access_token = string_member(object, "access_token");
        tokens.refresh_token = string_member(object, "refresh_token");
        auto expires = object.find("expires_in");
        tokens.expires_in = expires != object.end() && expires->is_number_integer() ? expires->get<long>() : 0;
        if (!tokens.access_token.empty()) return net_result::ok;
        detail = "the token endpoint's answer holds no access token";
        return net_result::authorization_failed;
    }
    detail = refusal_text(object, status);
    // A refused grant (RFC 6749 5.2) is an expired, revoked or used one.
    return string_member(object, "error") == "invalid_grant" ? net_result::authorization_needed
                                                             : net_result::authorization_failed;
}

net_result refresh_access_token(thread& job, const oauth2_registration& registration, std::string_view refresh_token,
                                oauth2_tokens& tokens, std::string& detail) {
    if (refresh_token.empty()) {
        detail = "no refresh token is stored";
        return net_result::authorization_needed;
    }
    return post_grant(job, registration, {{"grant_type", "refresh_token"}, {"refresh_token", refresh_token}}, tokens,
                      detail);
}

net_result redeem_authorization_code(thread& job, const oauth2_registration& registration, std::string_view code,
                                     std::string_view verifier, std::string_view redirect_uri,
                                     oauth2_tokens& tokens, std::string& detail) {
    return post_grant(job, registration,
                      {{"grant_type", "authorization_code"}, {"code", code}, {"code_verifier", verifier},
                       {"redirect_uri", redirect_uri}},
                      tokens, detail);
}

}  // namespace qm
