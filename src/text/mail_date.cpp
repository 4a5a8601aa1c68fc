#include "text/mail_date.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/companion_file.h"
#include "platform/local_time.h"
#include "platform/text_file.h"
#include "base/find_nocase.h"
#include "base/format.h"

namespace qm {

namespace {

constexpr auto npos = std::string_view::npos;

constexpr std::array<const char*, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> weekday_names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// A month name that is not in the table. It is shown as 13 and, should a
// time shift carry out of it, counts 31 days and lies between December of
// its year and January of the next.
constexpr int unknown_month = 13;

constexpr std::string_view date_field = "Date";

// Zone offsets are hours * 100 + minutes, east of UTC positive.
struct named_zone {
    std::string_view name;
    int offset;
};
constexpr std::array<named_zone, 10> named_zones = {{{"UT", 0},
                                                     {"GMT", 0},
                                                     {"EST", -500},
                                                     {"EDT", -400},
                                                     {"CST", -600},
                                                     {"CDT", -500},
                                                     {"MST", -700},
                                                     {"MDT", -600},
                                                     {"PST", -800},
                                                     {"PDT", -700}}};

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_scan_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The one-letter military zones: A to I are -1 to -9 hours, K, L, M -10 to
// -12, N to Y +1 to +12, Z is UTC; J is no zone.
int military_zone_offset(char letter) {
    char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    if (upper >= 'A' && upper <= 'I') return -(upper - 'A' + 1) * 100;
    if (upper >= 'K' && upper <= 'M') return -(upper - 'K' + 10) * 100;
    if (upper >= 'N' && upper <= 'Y') return (upper - 'N' + 1) * 100;
    return 0;
}

// A zone as written after the time: a name (unknown names count as UTC) or
// a signed number such as "+0900" read up to its first non-digit.
int zone_offset(std::string_view zone) {
    if (zone.empty()) return 0;
    if (is_ascii_letter(zone[0])) {
        if (zone.size() == 1) return military_zone_offset(zone[0]);
        for (const named_zone& named : named_zones) {
            if (equals_nocase(zone, named.name)) return named.offset;
        }
        return 0;
    }
    std::size_t pos = 0;
    bool negative = false;
    if (zone[0] == '+' || zone[0] == '-') {
        negative = zone[0] == '-';
        ++pos;
    }
    int value = 0;
    for (; pos < zone.size() && is_digit(zone[pos]); ++pos) value = value * 10 + (zone[pos] - '0');
    return negative ? -value : value;
}

int month_number(std::string_view name) {
    for (std::size_t i = 0; i < month_names.size(); ++i) {
        if (equals_nocase(name, month_names[i])) return static_cast<int>(i) + 1;
    }
    return unknown_month;
}

// Reads the date fields as scanf reads "%2d%3s%4d%2d:%2d:%*2d%5s": numbers
// and words skip leading white space and take at most `width` characters,
// a ":" must come next as it stands.
class field_scanner {
public:
    explicit field_scanner(std::string_view text) : text_(text) {}

    bool number(int& value, std::size_t width) {
        skip_space();
        std::size_t end = pos_ + std::min(width, text_.size() - pos_);
        std::size_t pos = pos_;
        bool negative = false;
        if (pos < end && (text_[pos] == '+' || text_[pos] == '-')) negative = text_[pos++] == '-';
        if (pos >= end || !is_digit(text_[pos])) return false;
        value = 0;
        for (; pos < end && is_digit(text_[pos]); ++pos) value = value * 10 + (text_[pos] - '0');
        if (negative) value = -value;
        pos_ = pos;
        return true;
    }

    bool word(std::string& value, std::size_t width) {
        skip_space();
        std::size_t start = pos_;
        while (pos_ < text_.size() && pos_ - start < width && !is_scan_space(text_[pos_])) ++pos_;
        value = std::string(text_.substr(start, pos_ - start));
        return !value.empty();
    }

    bool literal(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

private:
    void skip_space() {
        while (pos_ < text_.size() && is_scan_space(text_[pos_])) ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

struct list_time {
    int year = 0;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
};

int floor_div(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int month_length(int month, int year) {
    switch (month) {
    case 2:
        return is_leap_year(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31;  // the other months, and the unknown month
    }
}

void next_month(list_time& t) {
    if (t.month >= 12) {
        t.month = 1;
        ++t.year;
    } else {
        ++t.month;
    }
}

void previous_month(list_time& t) {
    if (t.month <= 1) {
        t.month = 12;
        --t.year;
    } else {
        --t.month;
    }
}

// Carries minutes into hours, hours into days (0 to 23) and days into
// months and years, either way, until every field is in its range. Days
// beyond the month's length, as read or after a shift, go on into the next
// months; a day below 1 borrows from the months before.
void normalize(list_time& t) {
    int carry = floor_div(t.minute, 60);
    t.minute -= carry * 60;
    t.hour += carry;
    carry = floor_div(t.hour, 24);
    t.hour -= carry * 24;
    t.day += carry;
    while (t.day > month_length(t.month, t.year)) {
        t.day -= month_length(t.month, t.year);
        next_month(t);
    }
    while (t.day < 1) {
        previous_month(t);
        t.day += month_length(t.month, t.year);
    }
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    std::int64_t year_of_era = year - era * 400;
    std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

// The moment a normalized time in the zone `offset` stands for.
std::time_t moment_of(const list_time& t, int offset) {
    bool unknown = t.month == unknown_month;
    std::int64_t days = days_from_civil(t.year, unknown ? 12 : t.month, 1) + (unknown ? 31 : 0) + t.day - 1;
    std::int64_t minutes = days * 1440 + t.hour * 60 + t.minute - (offset / 100 * 60 + offset % 100);
    return static_cast<std::time_t>(minutes * 60);
}

// Minutes east of UTC in the hours * 100 + minutes form (-210 gives -330).
int offset_from_minutes(int minutes) {
    int magnitude = std::abs(minutes);
    int offset = magnitude / 60 * 100 + magnitude % 60;
    return minutes < 0 ? -offset : offset;
}

// "%02d.%2d.%2d %2d:%02d" for the numbers a list date holds (each 0 to 99),
// written without printf: a large folder formats one for every message.
std::string list_date_text(int year, int month, int day, int hour, int minute) {
    std::string text;
    text.reserve(list_date_length);
    auto two = [&text](int value, char pad) {
        if (value < 0 || value > 99) {
            text += std::to_string(value);
            return;
        }
        text.push_back(value < 10 ? pad : static_cast<char>('0' + value / 10));
        text.push_back(static_cast<char>('0' + value % 10));
    };
    two(year, '0');
    text.push_back('.');
    two(month, ' ');
    text.push_back('.');
    two(day, ' ');
    text.push_back(' ');
    two(hour, ' ');
    text.push_back(':');
    two(minute, '0');
    return text;
}

// The time a Date field's text (from its first digit) gives, in local
// time; nullopt when it cannot be read.
std::optional<list_time> local_date_fields(std::string_view fields) {
    field_scanner scan(fields);
    list_time t;
    std::string month, zone;
    int seconds = 0;
    bool enough = scan.number(t.day, 2) && scan.word(month, 3) && scan.number(t.year, 4) &&
                  scan.number(t.hour, 2) && scan.literal(':') && scan.number(t.minute, 2);
    if (!enough) return std::nullopt;
    if (scan.literal(':') && scan.number(seconds, 2)) scan.word(zone, 5);
    t.month = month_number(month);
    int message_offset = zone_offset(zone);

    normalize(t);
    int local_offset = offset_from_minutes(local_utc_offset_minutes(moment_of(t, message_offset)));
    t.hour += local_offset / 100 - message_offset / 100;
    t.minute += local_offset % 100 - message_offset % 100;
    normalize(t);
    return t;
}

std::string format_date_fields(std::string_view fields) {
    std::optional<list_time> t = local_date_fields(fields);
    if (!t) return std::string(list_date_fallback);
    int short_year = (t->year % 100 + 100) % 100;
    return list_date_text(short_year, t->month, t->day, t->hour, t->minute);
}

// The next message line piece of `text` at `pos`, cut as the text reader
// cuts a message file.
std::string_view next_piece(std::string_view text, std::size_t& pos) {
    std::string_view rest = text.substr(pos, message_line_capacity - 1);
    std::size_t line_feed = rest.find('\n');
    std::string_view piece = rest.substr(0, line_feed == npos ? npos : line_feed + 1);
    pos += piece.size();
    return piece;
}

// The text of the first Date piece from its first digit; empty when there
// is none.
std::string_view date_piece_fields(std::string_view header_text) {
    for (std::size_t pos = 0; pos < header_text.size();) {
        std::string_view piece = next_piece(header_text, pos);
        if (!starts_with_nocase(piece, date_field)) continue;
        std::size_t digit = piece.find_first_of("0123456789");
        return digit == npos ? std::string_view() : piece.substr(digit);
    }
    return {};
}

// The header text with `date_line` in place of every Date line and of the
// folded lines that continue it, or appended when there is none.
std::string with_fresh_date(std::string_view text, std::string_view date_line) {
    std::string result;
    result.reserve(text.size() + date_line.size() + 1);
    bool replaced = false;
    bool in_old_date = false;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t line_feed = text.find('\n', pos);
        std::size_t end = line_feed == npos ? text.size() : line_feed + 1;
        std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (starts_with_nocase(line, date_field)) {
            result += date_line;
            replaced = in_old_date = true;
        } else if (!(in_old_date && (line[0] == ' ' || line[0] == '\t'))) {
            result += line;
            in_old_date = false;
        }
    }
    if (!replaced) {
        if (!result.empty() && result.back() != '\n') result += '\n';
        result += date_line;
    }
    return result;
}

}  // namespace

std::string make_date_line(std::time_t now) {
    std::tm local = local_time(now);
    int offset = offset_from_minutes(local_utc_offset_minutes(now));
    return string_printf("Date: %s, %d %s %d %02d:%02d:%02d %+05d\n", weekday_names.at(local.tm_wday % 7),
                         local.tm_mday, month_names.at(local.tm_mon % 12), local.tm_year + 1900, local.tm_hour,
                         local.tm_min, local.tm_sec, offset);
}

std::string make_date_line() { return make_date_line(std::time(nullptr)); }

bool set_date_header(std::string_view header_path) {
    std::string text;
    if (!read_text_file(header_path, text)) return false;
    std::string rewritten = with_fresh_date(text, make_date_line());
    return rewrite_through_companion(header_path, [&rewritten](text_writer& out) { return out.write(rewritten); });
}

std::string format_header_list_date(std::string_view header_text) {
    std::string_view fields = date_piece_fields(header_text);
    return fields.empty() ? std::string(list_date_fallback) : format_date_fields(fields);
}

std::string format_header_reading_date(std::string_view header_text) {
    std::string_view fields = date_piece_fields(header_text);
    std::optional<list_time> t = fields.empty() ? std::nullopt : local_date_fields(fields);
    if (!t || t->month < 1 || t->month > 12) return {};
    return string_printf("%04d/%02d/%02d %02d:%02d", t->year, t->month, t->day, t->hour, t->minute);
}

}  // namespace qm
