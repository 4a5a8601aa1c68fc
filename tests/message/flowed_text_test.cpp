#include "base/multibyte.h"
#include "message/flowed_text.h"
#include "support/test_support.h"
#include "text/encoded_words.h"
#include "text/sjis_jis.h"

namespace qm::test {
namespace {

std::string jis_of(std::string_view sjis) {
    std::string jis;
    EXPECT_TRUE(sjis_to_jis(jis, 4 * sjis.size() + 8, sjis));
    return jis;
}

// What a reader of format=flowed, delsp=yes makes of the lines: stuffing removed, every line that ends in a
// space joined to the next without that space; then back to CP932.
std::string read_flowed(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.starts_with(' ')) line.remove_prefix(1);
        bool flowed = line.ends_with(' ') && line != "-- ";
        EXPECT_EQ(flowed, i + 1 < lines.size()) << "line " << i << " of " << lines.size();
        joined += flowed ? line.substr(0, line.size() - 1) : line;
    }
    jis_to_sjis(joined);
    return joined;
}

TEST(FlowedText, ShortLinesAreTrimmedAndStuffed) {
    const std::pair<std::string, std::string> cases[] = {
        {"trailing spaces   ", "trailing spaces"}, {"   ", ""}, {"-- ", "-- "}, {"--  ", "--"},
        {" indented", "  indented"}, {">not a quote", " >not a quote"}, {"From here", " From here"}, {"Fromage", "Fromage"},
    };
    for (const auto& [line, wire] : cases) EXPECT_EQ(flowed_lines(line), names{wire}) << line;
    // A line of exactly the wire's limit stays whole; one more character and it is cut.
    EXPECT_EQ(flowed_lines(std::string(wire_line_limit, 'a')).size(), 1u);
    EXPECT_EQ(flowed_lines(std::string(wire_line_limit + 1, 'a')).size(), 14u);
}

// Long lines of every shape, at lengths around the limit, cut and read back.
TEST(FlowedText, LongLinesComeBackAsTheyWereAtEveryLength) {
    const std::string kanji = sj("日本語の表示能力ソを確かめる文章。"), mixed = sj("漢字and ASCII, ｶﾅ >次 ");
    const std::string shapes[] = {kanji, "From the start, words and spaces ", mixed, " >" + kanji, sj("全") + "a"};
    for (const std::string& shape : shapes) {
        for (std::size_t length = 990; length < 1010; ++length) {
            std::string line;
            for (std::size_t pos = 0; line.size() < length; pos = (pos + char_length(shape, pos)) % shape.size())
                line += shape.substr(pos, char_length(shape, pos));
            while (line.ends_with(' ')) line.pop_back();
            const std::string jis = jis_of(line);
            const std::vector<std::string> lines = flowed_lines(jis);
            SCOPED_TRACE(u8(line));
            // A line that fits the wire, stuffed, is sent whole.
            const bool whole = jis.size() + (line[0] == ' ' || line[0] == '>' || line.starts_with("From ")) <= wire_line_limit;
            EXPECT_EQ(lines.size() == 1, whole);
            for (const std::string& wire : lines) {
                EXPECT_TRUE(whole || wire.size() <= flowed_line_width) << wire;
                // Every line ends in ASCII: a reader may decode each on its own.
                std::size_t last_escape = wire.rfind('\x1b');
                EXPECT_TRUE(last_escape == std::string::npos || wire.compare(last_escape, 3, "\x1b(B") == 0) << wire;
            }
            EXPECT_EQ(read_flowed(lines), line);
        }
    }
}

}  // namespace
}  // namespace qm::test
