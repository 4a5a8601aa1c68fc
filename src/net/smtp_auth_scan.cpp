#include "net/smtp_auth_scan.h"

#include "net/smtp_client.h"
#include "base/find_nocase.h"

namespace qm {

// Only the "AUTH <names>" form counts (not the old "AUTH=<names>"). CRAM-MD5
// keeps the password off a plain connection, so it wins there; over TLS
// PLAIN is preferred, and PLAIN over LOGIN. A line naming no known mechanism
// keeps what an earlier line chose.
std::string_view auth_line_names(std::string_view reply_line) {
    constexpr std::string_view keyword = "AUTH ";
    if (reply_line.size() < 4) return {};
    std::string_view text = reply_line.substr(4);
    if (!starts_with_nocase(text, keyword)) return {};
    std::string_view names = text.substr(keyword.size());
    return names.substr(0, names.find_first_of("\r\n"));
}

void scan_auth_line(std::string_view reply_line, bool ssl, int& mechanism) {
    std::string_view names = auth_line_names(reply_line);
    if (names.empty()) return;
    if (!ssl && find_nocase(names, "CRAM-MD5") != std::string_view::npos)
        mechanism = auth_cram_md5;
    else if (find_nocase(names, "PLAIN") != std::string_view::npos)
        mechanism = auth_plain;
    else if (find_nocase(names, "LOGIN") != std::string_view::npos)
        mechanism = auth_login;
}

}  // namespace qm
