#pragma once

namespace qm {

// The result codes of every transport and protocol operation. A job ends with
// the first non-zero code and shows its message.
inline constexpr int result_ok = 0, result_bad_host = 4, result_connect_failed = 5,
    result_receive_error = 6, result_closed = 7, result_send_error = 8, result_no_memory = 9,
    result_file_error = 10, result_cancelled = 11, result_error_reply = 12,
    result_bad_password = 13, result_no_sender = 14;

// The string-table id of the message shown for a code ("サーバ名が無効です." for 4 ...);
// 0 for code 0, which shows nothing, and the "system error" text for a code
// outside the table.
int result_message_id(int code);

}  // namespace qm
