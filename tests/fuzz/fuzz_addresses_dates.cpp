// libFuzzer over address fields and dates: every address read out of a
// field is text of the field and within its capacity, every envelope
// address is one SMTP can carry; a date is read into fields in their
// ranges, and a Date line this program writes reads back as its moment.

#include <ctime>

#include "fuzz_support.h"
#include "text/address_list.h"
#include "text/mail_address.h"
#include "text/mail_date.h"
#include "text/message_id.h"

namespace {

struct date_fields { int year = 0, month = 0, day = 0, hour = 0, minute = 0; };

// The list date "yy.mm.dd hh:mm" (blank-padded) read back, each field in its range.
date_fields list_date_fields(const std::string& text) {
    date_fields f;
    CHECK(text.size() == qm::list_date_length &&
          std::sscanf(text.c_str(), "%2d.%2d.%2d %2d:%2d", &f.year, &f.month, &f.day, &f.hour, &f.minute) == 5);
    CHECK(f.year >= 0 && f.year <= 99 && f.month >= 1 && f.month <= 13 && f.day >= 1 && f.day <= 31);
    CHECK(f.hour >= 0 && f.hour <= 23 && f.minute >= 0 && f.minute <= 59);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t capacity = size > 0 ? data[0] % 80 + 1 : 1;

    for (const qm::listed_mailbox& mailbox : qm::list_mailboxes(bytes)) {
        CHECK(bytes.find(mailbox.written) != std::string_view::npos);
        CHECK(mailbox.address.empty() || qm::is_envelope_address(mailbox.address));
    }
    std::string name, address;
    if (qm::split_address(bytes, &name, capacity, &address, capacity))
        CHECK(name.size() < capacity && address.size() < capacity && bytes.find(address) != std::string_view::npos);
    else
        CHECK(name.empty() && address.empty());
    std::size_t end = qm::find_address_end(bytes, capacity);
    CHECK(end == std::string_view::npos || (end >= capacity && end <= size));
    if (qm::get_header_text_address(bytes, "From", capacity % 3, address, capacity, name, capacity))
        CHECK(name.size() < capacity && address.size() < capacity);
    const std::string domain = qm::message_id_domain(bytes);
    CHECK(domain.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.:[]") ==
          std::string::npos);
    CHECK(qm::make_message_id(bytes, 0).ends_with("@" + domain + ">"));

    const std::string list_date = qm::format_header_list_date(bytes);
    const std::string reading_date = qm::format_header_reading_date(bytes);
    if (list_date != qm::list_date_fallback) list_date_fields(list_date);
    if (!reading_date.empty()) {
        date_fields f = list_date_fields(qm::format_header_list_date(bytes)), g;
        CHECK(std::sscanf(reading_date.c_str(), "%d/%d/%d %d:%d", &g.year, &g.month, &g.day, &g.hour, &g.minute) == 5);
        CHECK((g.year % 100 + 100) % 100 == f.year && g.month == f.month && g.day == f.day && g.hour == f.hour &&
              g.minute == f.minute);
    }

    // A Date line written at any moment up to the year 9999 reads back as that moment's local time.
    std::uint64_t moment = 0;
    for (std::size_t i = 0; i < size && i < 8; ++i) moment = moment << 8 | data[i];
    const std::time_t now = static_cast<std::time_t>(moment % 253400000000u);
    std::tm local{};
    localtime_r(&now, &local);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02d.%2d.%2d %2d:%02d", local.tm_year % 100, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min);
    CHECK(qm::format_header_list_date(qm::make_date_line(now)) == expected);
    return 0;
}
