#include "text/message_id.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>

namespace qm {

namespace {

constexpr std::string_view no_domain = "localhost.invalid";

bool is_label_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool is_domain(std::string_view text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        for (char c : text.substr(1, text.size() - 2)) {
            if (!is_label_char(c) && c != '.' && c != ':') return false;
        }
        return text.size() > 2;
    }
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string_view::npos)
        return false;
    for (char c : text) {
        if (!is_label_char(c) && c != '.') return false;
    }
    return true;
}

std::uint64_t random_bits() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

}  // namespace

std::string message_id_domain(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return std::string(no_domain);
    std::string_view domain = address.substr(at + 1);
    while (!domain.empty() && (domain.back() == '>' || domain.back() == ' ')) domain.remove_suffix(1);
    return is_domain(domain) ? std::string(domain) : std::string(no_domain);
}

std::string make_message_id(std::string_view sender_address, std::time_t now) {
    static std::atomic<std::uint64_t> made{0};
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d.%016llx.%llu", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<unsigned long long>(random_bits()),
                  static_cast<unsigned long long>(++made));
    return "<" + std::string(stamp) + "@" + message_id_domain(sender_address) + ">";
}

std::string make_message_id(std::string_view sender_address) { return make_message_id(sender_address, std::time(nullptr)); }

}  // namespace qm
