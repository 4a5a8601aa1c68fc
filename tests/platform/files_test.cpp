#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/attributes.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/trash.h"
#include "platform/tree_operations.h"
#include "support/test_support.h"

namespace qm {
namespace {

using namespace test;
using names = std::vector<std::string>;

struct stat status_of(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status;
}

// Each test works in a directory of its own, with the desktop trash inside it.
class Files : public ::testing::Test {
protected:
    std::string trashed(const std::string& name) const { return read_bytes(dir / ("data/Trash/files/" + name)); }
    temp_dir dir;
    scoped_env data_home{"XDG_DATA_HOME", (dir / "data").c_str()};
};

TEST_F(Files, Attributes) {
    write_bytes(dir / "f", "x");
    write_bytes(dir / ".hidden", "x");
    std::string attributes;
    EXPECT_TRUE(read_attributes(dir.cp(".hidden"), attributes));
    EXPECT_EQ(attributes, "-h--");
    EXPECT_TRUE(set_attributes(dir.cp("f"), "--r-"));
    EXPECT_TRUE(read_attributes(dir.cp("f"), attributes));
    EXPECT_EQ(attributes, "--r-");
    EXPECT_TRUE(is_read_only(dir.cp("f")));
    EXPECT_EQ(status_of(dir / "f").st_mode & 0222, 0u);
    // The owner gets write permission back; system and archive do not exist and change nothing.
    EXPECT_TRUE(set_attributes(dir.cp("f"), "s--a"));
    EXPECT_TRUE(read_attributes(dir.cp("f"), attributes));
    EXPECT_EQ(attributes, "----");

    EXPECT_FALSE(read_attributes(dir.cp("missing"), attributes));
    EXPECT_EQ(attributes, "????");
    EXPECT_FALSE(set_attributes(dir.cp("missing"), "--r-"));
}

TEST_F(Files, ExistsSizeAndDirectories) {
    write_bytes(dir / "f", "12345");
    EXPECT_TRUE(path_exists(dir.cp("f")));
    EXPECT_FALSE(path_exists(dir.cp("g")));
    EXPECT_EQ(file_size(dir.cp("f")), 5);
    EXPECT_EQ(file_size(dir.cp("g")), -1);

    EXPECT_TRUE(make_directory(dir.cp("d/")));
    EXPECT_FALSE(make_directory(dir.cp("d/")));
    EXPECT_TRUE(directory_exists(dir.cp("d")) && directory_exists(dir.cp("d/")));
    EXPECT_FALSE(directory_exists(dir.cp("f")));
    make_directory(dir.cp("e"));
    make_directory(dir.cp(".3"));
    EXPECT_EQ(count_subdirectories(dir.cp()), 3);
    EXPECT_EQ(count_subdirectories(dir.cp("none/")), -1);
    EXPECT_TRUE(remove_directory(dir.cp("d/")));
    EXPECT_FALSE(exists(dir / "d"));
}

TEST_F(Files, RenameNeverReplaces) {
    write_bytes(dir / "a", "A");
    write_bytes(dir / "b", "B");
    EXPECT_FALSE(rename_path(dir.cp("a"), dir.cp("b")));
    EXPECT_EQ(read_bytes(dir / "a") + read_bytes(dir / "b"), "AB");
    EXPECT_TRUE(rename_path(dir.cp("a"), dir.cp("c")));
    EXPECT_EQ(read_bytes(dir / "c"), "A");

    // Work to work is a different name on Linux: allowed only while no folder work exists.
    make_directory(dir.cp("Work/"));
    write_bytes(dir / "work/keep", "k");
    EXPECT_FALSE(rename_path(dir.cp("Work/"), dir.cp("work/")));
    EXPECT_EQ(read_bytes(dir / "work/keep"), "k");
}

TEST_F(Files, CopyKeepsBytesModeAndTime) {
    std::string bytes("a\0b\r\n\x1a tail", 11);
    write_bytes(dir / "src", bytes);
    ::chmod((dir / "src").c_str(), 0444);
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, (dir / "src").c_str(), times, 0);

    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("dst"), false));
    EXPECT_EQ(read_bytes(dir / "dst"), bytes);
    EXPECT_EQ(status_of(dir / "dst").st_mode & 07777, 0444u);
    EXPECT_EQ(status_of(dir / "dst").st_mtime, 1000000000);

    // Without replace an existing target is overwritten; with replace it goes to the trash first.
    write_bytes(dir / "old", "old");
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("old"), false));
    EXPECT_EQ(read_bytes(dir / "old"), bytes);
    write_bytes(dir / "older", "older");
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("older"), true));
    EXPECT_EQ(trashed("older"), "older");

    EXPECT_FALSE(copy_file(dir.cp("missing"), dir.cp("x"), false));
    // No companion is left beside a failed copy.
    make_directory(dir.cp("blocked/"));
    EXPECT_FALSE(copy_file(dir.cp("src"), dir.cp("blocked"), false));
    EXPECT_EQ(list_names(dir.path()), (names{"blocked", "data", "dst", "old", "older", "src"}));

    // A file that bears the name the copy is written under beside the target
    // is neither overwritten nor taken away, also when it is the source.
    write_bytes(dir / "mine.$$$", "mine");
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("mine.txt"), false));
    ASSERT_TRUE(copy_file(dir.cp("mine.$$$"), dir.cp("mine.bak"), false));
    EXPECT_EQ(read_bytes(dir / "mine.$$$") + read_bytes(dir / "mine.bak"), "minemine");
    EXPECT_EQ(read_bytes(dir / "mine.txt"), bytes);
}

TEST_F(Files, MoveAppendAndDelete) {
    write_bytes(dir / "a", "A");
    ASSERT_TRUE(move_file(dir.cp("a"), dir.cp("b"), false));
    EXPECT_FALSE(exists(dir / "a"));
    write_bytes(dir / "tail", std::string(3000, 't'));
    ASSERT_TRUE(append_file(dir.cp("tail"), dir.cp("b")));
    EXPECT_EQ(read_bytes(dir / "b"), "A" + std::string(3000, 't'));

    ::chmod((dir / "b").c_str(), 0444);
    EXPECT_TRUE(delete_file(dir.cp("b")));
    EXPECT_FALSE(exists(dir / "b"));
    EXPECT_FALSE(delete_file(dir.cp("b")));
}

TEST_F(Files, TextFilesAndFinalNewline) {
    ASSERT_TRUE(write_text_file(dir.cp("t"), "x\ny"));
    ASSERT_TRUE(append_text(dir.cp("t"), "\nz\n"));
    EXPECT_EQ(read_bytes(dir / "t"), "x\r\ny\r\nz\r\n");
    for (auto [before, after] : {std::pair{"x\r\n", "x\r\n"}, {"", "\r\n"}, {"abc", "abc\r\n"}, {"abc\r\n\x1a", "abc\r\n\r\n"}}) {
        write_bytes(dir / "t", before);
        ASSERT_TRUE(ensure_final_newline(dir.cp("t")));
        EXPECT_EQ(read_bytes(dir / "t"), after) << before;
    }
    EXPECT_FALSE(ensure_final_newline(dir.cp("missing")));
    EXPECT_FALSE(write_text_file(dir.cp("no/such/dir"), "x"));
}

TEST_F(Files, TextWriterAndReader) {
    text_writer writer;
    ASSERT_TRUE(writer.open(dir.cp("a.txt")));
    EXPECT_TRUE(writer.write("one\ntwo\n\nthree"));
    EXPECT_TRUE(writer.put('\n'));
    EXPECT_TRUE(writer.close());
    ASSERT_TRUE(writer.open(dir.cp("a.txt"), true));  // appends
    EXPECT_TRUE(writer.write("new\n") && writer.close());
    EXPECT_EQ(read_bytes(dir / "a.txt"), "one\r\ntwo\r\n\r\nthree\r\nnew\r\n");
    std::string text;
    ASSERT_TRUE(read_text_file(dir.cp("a.txt"), text));
    EXPECT_EQ(text, "one\ntwo\n\nthree\nnew\n");

    // Ctrl-Z ends the text, a lone CR stays.
    write_bytes(dir / "z.txt", "a\r\nb\rc\r\n\x1a" "after\r\n");
    ASSERT_TRUE(read_text_file(dir.cp("z.txt"), text));
    EXPECT_EQ(text, "a\nb\rc\n");
    // A CR at the very end, and CR LF split across the reader's blocks.
    std::string big(65535, 'x');
    write_bytes(dir / "big.txt", big + "\r\nend\r");
    ASSERT_TRUE(read_text_file(dir.cp("big.txt"), text));
    EXPECT_EQ(text, big + "\nend\r");

    EXPECT_FALSE(read_text_file(dir.cp("none.txt"), text));
    text_reader missing(dir.cp("none.txt"));
    EXPECT_FALSE(missing.is_open() || missing.read_line(text));
    EXPECT_FALSE(writer.open(dir.cp("")));  // a directory stands there
}

TEST_F(Files, ReaderPiecesAreCutLikeFgets) {
    std::string long_line(600, 'L');
    write_bytes(dir / "p.txt", "short\r\n" + long_line + "\r\n" + std::string(255, 'e') + "\r\nlast");
    // The pieces always join back to the text, and none is longer than capacity - 1.
    for (std::size_t capacity : {2u, 3u, 7u, 256u, 1001u}) {
        text_reader reader(dir.cp("p.txt"));
        std::string piece, joined;
        while (reader.read_piece(piece, capacity)) {
            EXPECT_LE(piece.size(), capacity - 1);
            EXPECT_TRUE(piece.find('\n') == std::string::npos || piece.find('\n') == piece.size() - 1);
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

    write_bytes(dir / "l.txt", "a\r\n\r\nb");
    text_reader lines(dir.cp("l.txt"));
    names read;
    while (lines.read_line(piece)) read.push_back(piece);
    EXPECT_EQ(read, (names{"a", "", "b"}));
}

TEST_F(Files, TrashKeepsDeletedFilesWithTheirInfo) {
    write_bytes(dir / "受信 箱/mail", "one");
    ASSERT_TRUE(delete_file(dir.cp("受信 箱/mail"), true));
    EXPECT_FALSE(exists(dir / "受信 箱/mail"));
    EXPECT_EQ(trashed("mail"), "one");
    std::string info = read_bytes(dir / "data/Trash/info/mail.trashinfo");
    std::string escaped_path = dir.path() + "%E5%8F%97%E4%BF%A1%20%E7%AE%B1/mail";
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + escaped_path + "\nDeletionDate=", 0), 0u) << info;
    EXPECT_EQ(info.size(), std::string("[Trash Info]\nPath=\nDeletionDate=2026-12-06T07:29:57\n").size() + escaped_path.size());

    // A second file of the same name gets a name of its own.
    write_bytes(dir / "受信 箱/mail", "two");
    ASSERT_TRUE(delete_file(dir.cp("受信 箱/mail"), true));
    EXPECT_EQ(trashed("mail") + trashed("mail.2"), "onetwo");
    EXPECT_TRUE(exists(dir / "data/Trash/info/mail.2.trashinfo"));

    // Whole directories.
    write_bytes(dir / "folder/.0/0", "h");
    ASSERT_TRUE(delete_tree(dir.cp("folder/"), true));
    EXPECT_FALSE(exists(dir / "folder"));
    EXPECT_EQ(trashed("folder/.0/0"), "h");

    EXPECT_FALSE(move_to_trash(dir.cp("missing")));
    EXPECT_FALSE(exists(dir / "data/Trash/info/missing.trashinfo"));
}

// A folder with a message directory holding read-only files, a nested
// read-only sub-folder and a Japanese name.
void make_sample_tree(const std::string& root) {
    write_bytes(root + "arrange.lst", "\tr\r\n");
    write_bytes(root + ".0/0", "Subject: a\r\n");
    write_bytes(root + ".0/1", "\r\nbody\r\n");
    ::chmod((root + ".0/0").c_str(), 0444);
    ::chmod((root + ".0/1").c_str(), 0444);
    write_bytes(root + "仕事/.0/0", "x");
    write_bytes(root + "仕事/深い/f", "deep");
    ::chmod((root + "仕事/深い").c_str(), 0555);
}
const names sample_names{".0", "arrange.lst", "仕事"};

TEST_F(Files, CopyTreeKeepsFilesAndReadOnlyMarks) {
    make_sample_tree(dir / "src/");
    ::mkdir((dir / "dst").c_str(), 0700);
    ASSERT_TRUE(copy_tree(dir.cp("src/"), dir.cp("dst/")));
    EXPECT_EQ(read_bytes(dir / "dst/.0/1"), "\r\nbody\r\n");
    EXPECT_EQ(read_bytes(dir / "dst/仕事/深い/f"), "deep");
    EXPECT_TRUE(is_read_only(dir.cp("dst/.0/0")));
    EXPECT_TRUE(is_read_only(dir.cp("dst/仕事/深い")));
    EXPECT_FALSE(is_read_only(dir.cp("dst/仕事")));
    EXPECT_EQ(list_names(dir / "dst"), sample_names);
}

TEST_F(Files, EmptyAndDeleteTreeWithReadOnlyEntries) {
    make_sample_tree(dir / "t/");
    ASSERT_TRUE(empty_tree(dir.cp("t/")));
    EXPECT_TRUE(exists(dir / "t"));
    EXPECT_TRUE(list_names(dir / "t").empty());

    make_sample_tree(dir / "u/");
    ASSERT_TRUE(delete_tree(dir.cp("u/"), false));
    EXPECT_FALSE(exists(dir / "u"));
    EXPECT_FALSE(delete_tree(dir.cp("u/"), false));
}

TEST_F(Files, MoveContentsIsWholeOrNothing) {
    make_sample_tree(dir / "src/");
    ::mkdir((dir / "dst").c_str(), 0700);
    ASSERT_TRUE(move_contents(dir.cp("src/"), dir.cp("dst/")));
    EXPECT_TRUE(list_names(dir / "src").empty());
    EXPECT_EQ(read_bytes(dir / "dst/仕事/深い/f"), "deep");

    // A clash in the target stops the move and puts back what had moved.
    make_sample_tree(dir / "again/");
    write_bytes(dir / "busy/arrange.lst", "keep");
    EXPECT_FALSE(move_contents(dir.cp("again/"), dir.cp("busy/")));
    EXPECT_EQ(list_names(dir / "again"), sample_names);
    EXPECT_EQ(list_names(dir / "busy"), names{"arrange.lst"});
    EXPECT_EQ(read_bytes(dir / "busy/arrange.lst"), "keep");
}

TEST_F(Files, MoveDirectoryNeverMergesIntoAnExistingTarget) {
    make_sample_tree(dir / "a/");
    ASSERT_TRUE(move_directory(dir.cp("a/"), dir.cp("b/"), false));
    EXPECT_FALSE(exists(dir / "a"));
    EXPECT_EQ(read_bytes(dir / "b/.0/1"), "\r\nbody\r\n");

    make_sample_tree(dir / "c/");
    write_bytes(dir / "d/precious", "p");
    EXPECT_FALSE(move_directory(dir.cp("c/"), dir.cp("d/"), false));
    EXPECT_EQ(read_bytes(dir / "d/precious"), "p");
    // Into its own sub-folder: refused, nothing changes.
    EXPECT_FALSE(move_directory(dir.cp("c/"), dir.cp("c/仕事/c/"), false));
    EXPECT_EQ(list_names(dir / "c"), sample_names);
    EXPECT_TRUE(exists(dir / "c/.0/0"));

    // With replace the old target goes to the trash.
    ASSERT_TRUE(move_directory(dir.cp("c/"), dir.cp("d/"), true));
    EXPECT_EQ(trashed("d/precious"), "p");
    EXPECT_TRUE(exists(dir / "d/.0/0"));
}

}  // namespace
}  // namespace qm
