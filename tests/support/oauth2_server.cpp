#include "support/oauth2_server.h"

#include <curl/curl.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/test_certificates.h"

namespace qm::test {

namespace {

std::string python_program() { return find_program({"/usr/bin/python3", "/usr/local/bin/python3"}); }
std::string support_file(const char* name) { return std::filesystem::path(__FILE__).parent_path() / name; }

}  // namespace

bool oauth2_server::installed() { return !python_program().empty(); }

oauth2_server::oauth2_server() : oauth2_server(options{}) {}

oauth2_server::oauth2_server(options given) : process_(directory_ / "oauth2.out", directory_ / "oauth2.log") {
    const std::string config = directory_ / "oauth2.json";
    const tls_identity& identity = shared_test_certificates().localhost;
    nlohmann::json values = {{"cert", identity.certificate_file}, {"key", identity.key_file},
                             {"client_id", "quillmere-test"}, {"scope", "mail"}, {"user", "alice"},
                             {"rotate", given.rotate}, {"long_tokens", given.long_access_tokens}};
    const auto configure = [&](const std::vector<int>& ports) {
        values["https_port"] = ports[0];
        values["http_port"] = ports[1];
        write_bytes(config, values.dump());
        return std::string();
    };
    const std::string why =
        installed() ? process_.start(2, configure, {python_program(), support_file("oauth2_server.py"), config})
                    : "python3 is not installed";
    if (!why.empty()) failure_ = start_failure("The OAuth 2.0 server", why, log());
}

std::string oauth2_server::ca_file() const { return shared_test_certificates().ca_file; }

std::vector<std::string> oauth2_server::events() const {
    std::vector<std::string> lines;
    std::istringstream text(control("/control/events", false));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::string oauth2_server::control(const std::string& path, bool post) const {
    std::string body;
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    curl_easy_setopt(curl.get(), CURLOPT_URL, plain_url(path).c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
    if (post) curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, "");
    auto collect = +[](char* data, std::size_t one, std::size_t count, void* to) {
        static_cast<std::string*>(to)->append(data, one * count);
        return one * count;
    };
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    if (CURLcode code = curl_easy_perform(curl.get()); code != CURLE_OK)
        ADD_FAILURE() << "the OAuth 2.0 server did not answer " << path << ": " << curl_easy_strerror(code);
    return body;
}

std::string scripted_browser() { return support_file("scripted_browser.py"); }

}  // namespace qm::test
