#include "net/result_codes.h"

#include "string_ids.h"

namespace qm {

int result_message_id(int code) {
    if (code == result_ok) return 0;
    if (code >= result_bad_host && code <= result_no_sender) return str::net_bad_host + (code - result_bad_host);
    return str::system_error;
}

}  // namespace qm
