#include "net/smtp_auth_scan.h"

namespace qm {

// The SMTP client fills in the scan; until then no mechanism is found.
void scan_auth_line(std::string_view, bool, int&) {}

}  // namespace qm
