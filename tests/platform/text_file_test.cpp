#include <gtest/gtest.h>

#include "platform/text_file.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

TEST(TextFile, WriterTurnsLineFeedsIntoCrLf) {
    temp_dir dir;
    text_writer writer;
    ASSERT_TRUE(writer.open(dir.cp("a.txt")));
    EXPECT_TRUE(writer.write("one\ntwo\n\nthree"));
    EXPECT_TRUE(writer.put('\n'));
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(read_bytes(dir / "a.txt"), "one\r\ntwo\r\n\r\nthree\r\n");

    std::string back;
    ASSERT_TRUE(read_text_file(dir.cp("a.txt"), back));
    EXPECT_EQ(back, "one\ntwo\n\nthree\n");
}

TEST(TextFile, AppendKeepsWhatWasThere) {
    temp_dir dir;
    write_bytes(dir / "a.txt", "old\r\n");
    text_writer writer;
    ASSERT_TRUE(writer.open(dir.cp("a.txt"), true));
    writer.write("new\n");
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(read_bytes(dir / "a.txt"), "old\r\nnew\r\n");
}

TEST(TextFile, ReaderStopsAtCtrlZAndKeepsLoneCr) {
    temp_dir dir;
    write_bytes(dir / "z.txt", std::string("a\r\nb\rc\r\n\x1a" "after\r\n", 15));
    std::string text;
    ASSERT_TRUE(read_text_file(dir.cp("z.txt"), text));
    EXPECT_EQ(text, "a\nb\rc\n");

    // A CR at the very end, and CR LF split across the reader's blocks.
    std::string big(65535, 'x');
    write_bytes(dir / "big.txt", big + "\r\nend\r");
    ASSERT_TRUE(read_text_file(dir.cp("big.txt"), text));
    EXPECT_EQ(text, big + "\nend\r");
}

TEST(TextFile, PiecesAreCutLikeFgets) {
    temp_dir dir;
    std::string long_line(600, 'L');
    write_bytes(dir / "p.txt", "short\r\n" + long_line + "\r\n" + std::string(255, 'e') + "\r\nlast");
    // The same file read with several piece sizes: the pieces always join
    // back to the text, and none is longer than capacity - 1.
    for (std::size_t capacity : {2u, 3u, 7u, 256u, 1001u}) {
        text_reader reader(dir.cp("p.txt"));
        ASSERT_TRUE(reader.is_open());
        std::string piece, joined;
        while (reader.read_piece(piece, capacity)) {
            EXPECT_LE(piece.size(), capacity - 1);
            std::size_t lf = piece.find('\n');
            EXPECT_TRUE(lf == std::string::npos || lf == piece.size() - 1);
            joined += piece;
        }
        EXPECT_EQ(joined, "short\n" + long_line + "\n" + std::string(255, 'e') + "\nlast") << capacity;
    }
    // With 256 bytes a 255-character line comes as the line, then its line
    // feed alone, as a 256-byte fgets buffer gives them.
    text_reader reader(dir.cp("p.txt"));
    std::string piece;
    std::vector<std::size_t> sizes;
    while (reader.read_piece(piece, short_line_capacity)) sizes.push_back(piece.size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{6, 255, 255, 91, 255, 1, 4}));
}

TEST(TextFile, WholeLinesAndMissingFiles) {
    temp_dir dir;
    write_bytes(dir / "l.txt", "a\r\n\r\nb");
    text_reader reader(dir.cp("l.txt"));
    std::string line;
    std::vector<std::string> lines;
    while (reader.read_line(line)) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b"}));

    text_reader missing(dir.cp("none.txt"));
    EXPECT_FALSE(missing.is_open());
    EXPECT_FALSE(missing.read_line(line));
    std::string text;
    EXPECT_FALSE(read_text_file(dir.cp("none.txt"), text));

    // A file cannot be written where a directory stands.
    text_writer writer;
    EXPECT_FALSE(writer.open(dir.cp("")));
}

}  // namespace
}  // namespace qm
