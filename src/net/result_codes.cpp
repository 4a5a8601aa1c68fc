#include "net/result_codes.h"

#include "string_ids.h"

namespace qm {

int result_message_id(net_result code) {
    const int number = static_cast<int>(code);
    if (code == net_result::ok) return 0;
    if (code >= net_result::bad_host && code <= net_result::message_too_large)
        return str::net_bad_host + (number - static_cast<int>(net_result::bad_host));
    return str::system_error;
}

}  // namespace qm
