#include "net/http_form_post.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

#include "base/find_nocase.h"
#include "base/secret_wipe.h"
#include "platform/shared_library.h"

namespace qm {

namespace {

// libcurl, loaded at the first sign-in of a run and initialised then.
struct curl_library {
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_setopt) setopt = nullptr;
    decltype(&::curl_easy_perform) perform = nullptr;
    decltype(&::curl_easy_getinfo) getinfo = nullptr;
    decltype(&::curl_easy_strerror) strerror = nullptr;
    decltype(&::curl_easy_cleanup) cleanup = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
    std::string failure;
    bool ready = false;
};

const curl_library& curl() {
    static const curl_library library = [] {
        curl_library api;
        shared_library loaded("libcurl.so.4");
        api.ready = loaded.bind(api.global_init, "curl_global_init") && loaded.bind(api.easy_init, "curl_easy_init") &&
                    loaded.bind(api.setopt, "curl_easy_setopt") && loaded.bind(api.perform, "curl_easy_perform") &&
                    loaded.bind(api.getinfo, "curl_easy_getinfo") && loaded.bind(api.strerror, "curl_easy_strerror") &&
                    loaded.bind(api.cleanup, "curl_easy_cleanup") && loaded.bind(api.slist_append, "curl_slist_append") &&
                    loaded.bind(api.slist_free_all, "curl_slist_free_all") &&
                    api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        api.failure = loaded.failure().empty() ? "libcurl could not be initialised" : loaded.failure();
        return api;
    }();
    return library;
}

struct easy_deleter {
    void operator()(CURL* handle) const { curl().cleanup(handle); }
};
struct list_deleter {
    void operator()(curl_slist* list) const { curl().slist_free_all(list); }
};

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void append_encoded(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_unreserved(byte)) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 15]);
        }
    }
}

struct transfer {
    thread* job = nullptr;
    http_answer* answer = nullptr;
    bool too_long = false;
};

std::size_t take_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<transfer*>(user);
    const std::size_t bytes = size * count;
    if (state.answer->body.size() + bytes > http_answer_limit) {
        state.too_long = true;
        return 0;  // ends the transfer
    }
    state.answer->body.append(data, bytes);
    return bytes;
}

int watch_cancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<transfer*>(user)->job->cancel_requested() ? 1 : 0;
}

// The same authorities as the mail connections: OpenSSL's default paths
// honour these variables, libcurl's compiled-in bundle does not.
void trust_like_mail_connections(CURL* handle) {
    if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file) curl().setopt(handle, CURLOPT_CAINFO, file);
    if (const char* directory = std::getenv("SSL_CERT_DIR"); directory && *directory)
        curl().setopt(handle, CURLOPT_CAPATH, directory);
}

}  // namespace

http_answer::~http_answer() { wipe_password(body); }

std::string form_body(const form_fields& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) body.push_back('&');
        append_encoded(body, name);
        body.push_back('=');
        append_encoded(body, value);
    }
    return body;
}

net_result http_post_form(thread& job, std::string_view url_text, const form_fields& fields, http_answer& answer,
                          std::string& detail) {
    const std::string url(url_text);
    if (!starts_with_nocase(url, "https://")) {
        detail = "not an https address: " + url;
        return net_result::connect_failed;
    }
    const curl_library& api = curl();
    if (!api.ready) {
        detail = api.failure;
        return net_result::connect_failed;
    }
    std::unique_ptr<CURL, easy_deleter> handle(api.easy_init());
    if (!handle) return net_result::no_memory;
    std::string body = form_body(fields);
    std::unique_ptr<curl_slist, list_deleter> headers(api.slist_append(nullptr, "Accept: application/json"));
    transfer state{&job, &answer};
    answer.status = 0;
    answer.body.clear();
    char error[CURL_ERROR_SIZE] = "";
    CURL* h = handle.get();
    api.setopt(h, CURLOPT_URL, url.c_str());
    api.setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    api.setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    api.setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    api.setopt(h, CURLOPT_HTTPHEADER, headers.get());
    api.setopt(h, CURLOPT_USERAGENT, "Quillmere/" QUILLMERE_VERSION);
    api.setopt(h, CURLOPT_WRITEFUNCTION, take_body);
    api.setopt(h, CURLOPT_WRITEDATA, &state);
    api.setopt(h, CURLOPT_NOPROGRESS, 0L);
    api.setopt(h, CURLOPT_XFERINFOFUNCTION, watch_cancel);
    api.setopt(h, CURLOPT_XFERINFODATA, &state);
    api.setopt(h, CURLOPT_NOSIGNAL, 1L);
    api.setopt(h, CURLOPT_TIMEOUT, http_timeout_seconds);
    api.setopt(h, CURLOPT_ERRORBUFFER, error);
    api.setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    api.setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    trust_like_mail_connections(h);
    const CURLcode code = api.perform(h);
    wipe_password(body);
    if (code == CURLE_ABORTED_BY_CALLBACK) return net_result::cancelled;
    if (state.too_long) {
        detail = "the answer of " + url + " is too long";
        return net_result::receive_error;
    }
    if (code != CURLE_OK) {
        detail = *error ? error : api.strerror(code);
        return net_result::connect_failed;
    }
    api.getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
    return net_result::ok;
}

}  // namespace qm
