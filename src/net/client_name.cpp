#include "net/client_name.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/find_nocase.h"

namespace qm {

namespace {

constexpr std::size_t domain_name_limit = 253;
constexpr std::string_view no_name = "localhost.invalid";

bool is_label(std::string_view label) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) return false;
    }
    return true;
}

bool all_digits(std::string_view text) { return text.find_first_not_of("0123456789") == std::string_view::npos; }

bool ends_with_label(std::string_view name, std::string_view label) {
    return name.size() > label.size() && name[name.size() - label.size() - 1] == '.' &&
           equals_nocase(name.substr(name.size() - label.size()), label);
}

}  // namespace

bool is_fully_qualified_name(std::string_view name) {
    if (name.ends_with('.')) name.remove_suffix(1);
    if (name.empty() || name.size() > domain_name_limit || name.find('.') == std::string_view::npos) return false;
    std::string_view last;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t dot = name.find('.', start);
        if (dot == std::string_view::npos) dot = name.size();
        last = name.substr(start, dot - start);
        if (!is_label(last)) return false;
        start = dot + 1;
    }
    if (all_digits(last)) return false;
    if (starts_with_nocase(name, "localhost.") || ends_with_label(name, "localdomain") || ends_with_label(name, "local"))
        return false;
    return true;
}

std::optional<std::string> machine_domain_name() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::nullopt;
    if (is_fully_qualified_name(host)) return std::string(host);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    std::optional<std::string> name;
    if (::getaddrinfo(host, nullptr, &hints, &found) == 0 && found) {
        if (found->ai_canonname && is_fully_qualified_name(found->ai_canonname)) name = found->ai_canonname;
        ::freeaddrinfo(found);
    }
    return name;
}

std::string address_literal_of_socket(int socket) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (socket < 0 || ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (local.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&local);
        if (!::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text)) return {};
        return "[" + std::string(text) + "]";
    }
    if (local.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&local);
        // An IPv4 peer reached over an IPv6 socket is named as IPv4.
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            if (!::inet_ntop(AF_INET, reinterpret_cast<const unsigned char*>(&v6->sin6_addr) + 12, text, sizeof text))
                return {};
            return "[" + std::string(text) + "]";
        }
        if (!::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text)) return {};
        return "[IPv6:" + std::string(text) + "]";
    }
    return {};
}

std::string client_name(const std::optional<std::string>& domain, std::string_view literal) {
    if (domain && is_fully_qualified_name(*domain)) return *domain;
    return literal.empty() ? std::string(no_name) : std::string(literal);
}

}  // namespace qm
