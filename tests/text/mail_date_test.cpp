#include <filesystem>

#include "text/mail_date.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

TEST(DateLine, FixedMomentsInSeveralZones) {
    for (auto [zone, time] : {std::pair{"Asia/Tokyo", "23:30:05 +0900"}, {"UTC", "14:30:05 +0000"}, {"America/St_Johns", "11:00:05 -0330"}}) {
        scoped_time_zone in_zone(zone);
        EXPECT_EQ(make_date_line(1267540205), "Date: Tue, 2 Mar 2010 " + std::string(time) + "\n") << zone;
    }
}

TEST(ListDate, ConversionsToTheLocalZoneFromTextAndFile) {
    const std::string field = "Date: Tue, 2 Mar 2010 23:30:00 -0500\n";
    struct { const char* zone; std::string header; const char* shown; } cases[] = {
        {"Asia/Tokyo", "Subject: " + std::string(5000, 's') + "\n" + field, "10. 3. 3 13:30"},
        // The text is read in lines of 1000 characters: the second piece of a long line is a line of its own.
        {"Asia/Tokyo", "X-Long: " + std::string(992, 'y') + field, "10. 3. 3 13:30"},
        {"Asia/Tokyo", "Date: 12 Jan 2010 10:20 +0900\n", "10. 1.12 19:20"},  // no seconds: no zone
        {"Asia/Tokyo", "Date: 12 Jan\t2010 \f10:20:00 \v-0500\n", "10. 1.13  0:20"},  // any white space between
        {"Asia/Tokyo", "From: a@x.jp\n\nDat: 1 Jan 2010 10:00\n", "??. ?. ? ??:??"}, {"Asia/Tokyo", "", "??. ?. ? ??:??"},
        // The offset is the one in force at the message's own moment.
        {"America/New_York", "Date: 14 Mar 2010 06:59:00 +0000\n", "10. 3.14  1:59"},
        {"America/New_York", "Date: 14 Mar 2010 07:00:00 +0000\n", "10. 3.14  3:00"},
        {"America/St_Johns", "Date: 1 Jan 2010 00:00:00 +0000\n", "09.12.31 20:30"},
        {"UTC", "Date: 1 Jan 2010 00:00:00 -0330\n", "10. 1. 1  3:30"},
    };
    for (const auto& c : cases) {
        scoped_time_zone zone(c.zone);
        EXPECT_EQ(format_header_list_date(c.header), c.shown) << c.zone << " " << c.header;
    }
}

TEST(ListDate, CarriesZoneNamesAndBadValuesInUtc) {
    const std::pair<const char*, const char*> cases[] = {  // the Date field's value, the date shown in UTC
        // Carries through months, years and leap years.
        {"1 Mar 2000 00:30:00 +0100", "00. 2.29 23:30"},   {"1 Mar 1900 00:30:00 +0100", "00. 2.28 23:30"},
        {"1 Mar 2100 00:30:00 +0100", "00. 2.28 23:30"},   {"28 Feb 2008 23:30:00 -0100", "08. 2.29  0:30"},
        {"28 Feb 2009 23:30:00 -0100", "09. 3. 1  0:30"},  {"30 Apr 2010 23:30:00 -0100", "10. 5. 1  0:30"},
        {"31 Dec 2009 23:30:00 -0100", "10. 1. 1  0:30"},  {"1 Jan 2010 00:30:00 +0100", "09.12.31 23:30"},
        // An unknown month shows as 13, between December and January.
        {"5 Foo 2010 10:00:00 +0000", "10.13. 5 10:00"},   {"1 Foo 2010 00:30:00 +0100", "10.12.31 23:30"},
        // Days beyond a month's length go on into the next months.
        {"31 Feb 2010 10:00:00 +0000", "10. 3. 3 10:00"},  {"0 Jan 2010 10:00", "09.12.31 10:00"},
        {"12 Jan 2010 10", "??. ?. ? ??:??"},              {"12 Jan 2010 10:xx", "??. ?. ? ??:??"},
    };
    const std::pair<const char*, const char*> zones[] = {  // after "Fri, 1 Jan 2010 12:00:00 "
        {"EST", "10. 1. 1 17:00"}, {"edt", "10. 1. 1 16:00"}, {"PST", "10. 1. 1 20:00"}, {"PDT", "10. 1. 1 19:00"},
        {"UT", "10. 1. 1 12:00"},  {"gmt", "10. 1. 1 12:00"}, {"Z", "10. 1. 1 12:00"},   {"A", "10. 1. 1 13:00"},
        {"I", "10. 1. 1 21:00"},   {"K", "10. 1. 1 22:00"},   {"m", "10. 1. 2  0:00"},   {"N", "10. 1. 1 11:00"},
        {"Y", "10. 1. 1  0:00"},   {"J", "10. 1. 1 12:00"},   {"JST", "10. 1. 1 12:00"}, {"(JST)", "10. 1. 1 12:00"},
        {"+0900", "10. 1. 1  3:00"}, {"+090000", "10. 1. 1  3:00"}, {"+09:00", "10. 1. 1 11:51"}, {"GMTXYZ", "10. 1. 1 12:00"},
    };
    scoped_time_zone utc("UTC");
    for (auto [value, shown] : cases) EXPECT_EQ(format_header_list_date("Date: " + std::string(value) + "\n"), shown) << value;
    for (auto [zone, shown] : zones)
        EXPECT_EQ(format_header_list_date(std::string("Date: Fri, 1 Jan 2010 12:00:00 ") + zone + "\n"), shown) << zone;
}

// The file "0" after set_date_header, each date line it wrote (the line of the moment before or after
// the call) shown as "%".
std::string rewritten(const temp_dir& dir) {
    const std::string before = crlf(make_date_line());
    EXPECT_TRUE(set_date_header(dir.cp("0")));
    std::string text = read_bytes(dir / "0");
    for (const std::string& line : {before, crlf(make_date_line())})
        for (std::size_t at; (at = text.find(line)) != std::string::npos;) text.replace(at, line.size(), "%");
    return text;
}

TEST(SetDateHeader, ReplacesAppendsAndLeavesFailuresUntouched) {
    temp_dir dir;
    for (auto [before, after] : {std::pair{"From: a@x.jp\ndate: old\n\tfolded\nSubject: Date\nDATE:\n", "From: a@x.jp\n%Subject: Date\n%"},
                                 {"From: a@x.jp\nSubject: no line feed", "From: a@x.jp\nSubject: no line feed\n%"}, {"", "%"}}) {
        write_bytes(dir / "0", crlf(before));
        EXPECT_EQ(rewritten(dir), crlf(after));
        EXPECT_EQ(list_names(dir.path()), names{"0"});
    }

    // The companion cannot be made: the file stays as it was.
    std::string original = crlf("From: a@x.jp\nDate: old\n");
    write_bytes(dir / "0", original);
    ASSERT_TRUE(std::filesystem::create_directory(dir / "0.$$$"));
    EXPECT_FALSE(set_date_header(dir.cp("0")) || set_date_header(dir.cp("missing")) || set_date_header(dir.cp("0/0")));
    EXPECT_EQ(std::pair(read_bytes(dir / "0"), list_names(dir.path())), std::pair(original, names{"0", "0.$$$"}));
}

}  // namespace
}  // namespace qm::test
