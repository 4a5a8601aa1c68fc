#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/attributes.h"
#include "platform/file_operations.h"
#include "platform/open_directory.h"
#include "platform/text_file.h"
#include "platform/trash.h"
#include "platform/tree_operations.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

// Each test works in a directory of its own, with the desktop trash inside it.
class Files : public ::testing::Test {
protected:
    std::string trashed(const std::string& name) const { return read_bytes(dir / ("data/Trash/files/" + name)); }
    temp_dir dir;
    scoped_env data_home{"XDG_DATA_HOME", (dir / "data").c_str()};
};

TEST_F(Files, AttributesSizesRenamesAndDeletes) {
    write_bytes(dir / "f", "12345");
    write_bytes(dir / ".hidden", "x");
    // System and archive do not exist and change nothing; clearing read-only gives the owner write back.
    for (auto [set, read_only, write_bits] : {std::tuple{"--r-", true, 0u}, {"s--a", false, 0200u}})
        EXPECT_TRUE(set_attributes(dir.cp("f"), set) && is_read_only(dir.cp("f")) == read_only &&
                    (mode_of(dir / "f") & 0222) == write_bits) << set;
    EXPECT_TRUE(is_hidden_name(dir.cp(".hidden")) && !is_hidden_name(dir.cp("f")));
    EXPECT_FALSE(set_attributes(dir.cp("missing"), "--r-") || is_read_only(dir.cp("missing")));
    EXPECT_EQ(std::pair(file_size(dir.cp("f")), file_size(dir.cp("g"))), std::pair(std::int64_t(5), std::int64_t(-1)));
    EXPECT_TRUE(make_directory(dir.cp("d/")) && make_directory(dir.cp(".3")) && directory_exists(dir.cp("d")));
    EXPECT_EQ(std::pair(count_subdirectories(dir.cp()), count_subdirectories(dir.cp("none/"))), std::pair(2, -1));  // hidden ones count
    EXPECT_TRUE(remove_directory(dir.cp("d/")) && !exists(dir / "d"));

    // A rename never replaces.
    write_bytes(dir / "b", "B");
    EXPECT_TRUE(!rename_path(dir.cp("f"), dir.cp("b")) && rename_path(dir.cp("f"), dir.cp("c")));
    EXPECT_EQ(read_bytes(dir / "b") + read_bytes(dir / "c"), "B12345");
    EXPECT_TRUE(delete_file(dir.cp("c")) && !delete_file(dir.cp("c")) && !exists(dir / "c"));
}

TEST_F(Files, CopyKeepsBytesModeAndTimeOverAnExistingTarget) {
    const std::string bytes("a\0b\r\n\x1a tail", 11), src = dir / "src";
    write_bytes(src, bytes);
    write_bytes(dir / "dst", "old");
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, src.c_str(), times, 0);
    ::chmod(src.c_str(), 0444);
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("dst"), false));
    struct stat copied {};
    EXPECT_TRUE(::stat((dir / "dst").c_str(), &copied) == 0 && copied.st_mtime == 1000000000);
    EXPECT_EQ(std::pair(read_bytes(dir / "dst"), copied.st_mode & 07777), std::pair(bytes, 0444u));

    // No companion is left beside a failed copy.
    make_directory(dir.cp("blocked/"));
    EXPECT_FALSE(copy_file(dir.cp("missing"), dir.cp("x"), false) || copy_file(dir.cp("src"), dir.cp("blocked"), false));
    EXPECT_EQ(list_names(dir.path()), (names{"blocked", "dst", "src"}));

    // A file bearing the companion's name is neither overwritten nor taken away, also as the source.
    write_bytes(dir / "mine.$$$", "mine");
    ASSERT_TRUE(copy_file(dir.cp("src"), dir.cp("mine.txt"), false) && copy_file(dir.cp("mine.$$$"), dir.cp("mine.bak"), false));
    EXPECT_EQ(read_bytes(dir / "mine.$$$") + read_bytes(dir / "mine.bak") + read_bytes(dir / "mine.txt"), "minemine" + bytes);
}

TEST_F(Files, TextFilesRoundTripInTextMode) {
    ASSERT_TRUE(write_text_file(dir.cp("t"), "one\ntwo\n\nthree") && append_text(dir.cp("t"), "\nnew\n"));
    EXPECT_EQ(read_bytes(dir / "t"), "one\r\ntwo\r\n\r\nthree\r\nnew\r\n");
    std::string text;
    EXPECT_TRUE(read_text_file(dir.cp("t"), text) && text == "one\ntwo\n\nthree\nnew\n") << text;
    for (auto [before, after] : {std::pair{"x\r\n", "x\r\n"}, {"", "\r\n"}, {"abc", "abc\r\n"}, {"abc\r\n\x1a", "abc\r\n\r\n"}}) {
        write_bytes(dir / "t", before);
        EXPECT_TRUE(ensure_final_newline(dir.cp("t")) && read_bytes(dir / "t") == after) << before;
    }
    EXPECT_FALSE(ensure_final_newline(dir.cp("missing")) || write_text_file(dir.cp("no/such/dir"), "x"));
    // Ctrl-Z ends the text; a lone CR stays, at the very end too.
    for (auto [bytes, expected] : {std::pair{"a\r\nb\rc\r\n\x1a" "after\r\n", "a\nb\rc\n"}, {"x\r\nend\r", "x\nend\r"}}) {
        write_bytes(dir / "r.txt", bytes);
        EXPECT_TRUE(read_text_file(dir.cp("r.txt"), text) && text == expected) << text;
    }
    EXPECT_EQ(text_mode_bytes("a\nb\r\n\n"), "a\r\nb\r\r\n\r\n");
}

// The whole-file read gives what reading byte by byte gives, whatever falls on the boundaries of its
// read blocks (a CR LF split across two, a Ctrl-Z at the end of one, a lone CR), for plain paths and
// for names relative to an open directory.
TEST_F(Files, WholeFileReadsAgreeWithTheByteReaderAtEveryBlockBoundary) {
    const std::size_t block = 65536;
    open_directory folder(dir.cp(""));
    ASSERT_TRUE(folder.is_open());
    for (std::size_t size : {std::size_t(0), std::size_t(1), block - 1, block, block + 1, 2 * block + 3})
        for (const std::string tail : {"", "\r", "\r\n", "\n\r", "\x1a", "\r\x1a", "\x1a\r\n"}) {
            std::string bytes;
            for (std::size_t i = 0; bytes.size() + tail.size() < size; ++i) bytes += i % 7 == 6 ? "\r\n" : "ab";
            bytes.resize(size > tail.size() ? size - tail.size() : 0);
            bytes += tail + "after\r\n";
            write_bytes(dir / "f", bytes);
            const std::string expected = text_reader(dir.cp("f")).read_rest();
            std::string whole, raw;
            ASSERT_TRUE(read_text_file(dir.cp("f"), whole) && folder.read_small_file("f", raw));
            EXPECT_EQ(std::tuple(whole, raw, text_mode_text(raw), folder.file_size("f")),
                      std::tuple(expected, bytes, expected, std::int64_t(bytes.size()))) << size << " " << tail.size();
        }
    std::string text = "kept";
    EXPECT_TRUE(!read_text_file(dir.cp("missing"), text) && text.empty());
    EXPECT_FALSE(folder.read_small_file("missing", text) || folder.file_size("missing") != -1);
    make_directory(dir.cp("sub"));
    EXPECT_FALSE(read_text_file(dir.cp("sub"), text) || folder.read_small_file("sub", text));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_TRUE(folder.read_small_file("pipe", text) && text.empty());  // not waited on
}

TEST_F(Files, TrashKeepsDeletedFilesWithTheirInfo) {
    // A second file of the same name gets a name of its own.
    for (const char* bytes : {"one", "two"}) {
        write_bytes(dir / "受信 箱/mail", bytes);
        ASSERT_TRUE(delete_file(dir.cp("受信 箱/mail"), true) && !exists(dir / "受信 箱/mail"));
    }
    const std::string info = read_bytes(dir / "data/Trash/info/mail.trashinfo");
    const std::string escaped_path = dir.path() + "%E5%8F%97%E4%BF%A1%20%E7%AE%B1/mail";
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + escaped_path + "\nDeletionDate=")) << info;
    EXPECT_EQ(info.size(), std::string("[Trash Info]\nPath=\nDeletionDate=2026-12-06T07:29:57\n").size() + escaped_path.size());
    EXPECT_EQ(trashed("mail") + trashed("mail.2"), "onetwo");
    EXPECT_TRUE(exists(dir / "data/Trash/info/mail.2.trashinfo"));
    EXPECT_FALSE(move_to_trash(dir.cp("missing")) || exists(dir / "data/Trash/info/missing.trashinfo"));
}

// A folder with read-only message files, a nested read-only sub-folder and a Japanese name.
void make_sample_tree(const std::string& root) {
    for (auto [name, bytes] : {std::pair{"arrange.lst", "\tr\r\n"}, {".0/0", "Subject: a\r\n"}, {".0/1", "\r\nbody\r\n"},
                               {"仕事/.0/0", "x"}, {"仕事/深い/f", "deep"}})
        write_bytes(root + name, bytes);
    for (const char* name : {".0/0", ".0/1", "仕事/深い"}) ::chmod((root + name).c_str(), name[0] == '.' ? 0444 : 0555);
}

TEST_F(Files, TreesWithReadOnlyEntriesAreCopiedDeletedAndMovedWhole) {
    make_sample_tree(dir / "src/");
    const auto sample = tree_snapshot(dir / "src");
    ::mkdir((dir / "dst").c_str(), 0700);
    ASSERT_TRUE(copy_tree(dir.cp("src/"), dir.cp("dst/")));
    EXPECT_EQ(tree_snapshot(dir / "dst"), sample);
    EXPECT_TRUE(delete_tree(dir.cp("dst/"), false) && !exists(dir / "dst") && !delete_tree(dir.cp("dst/"), false));

    // A clash in the target stops the move and puts back what had moved.
    write_bytes(dir / "busy/arrange.lst", "keep");
    EXPECT_FALSE(move_contents(dir.cp("src/"), dir.cp("busy/")));
    EXPECT_EQ(tree_snapshot(dir / "src"), sample);
    EXPECT_TRUE(tree_snapshot(dir / "busy").size() == 1 && read_bytes(dir / "busy/arrange.lst") == "keep");
}

TEST_F(Files, MoveDirectoryNeverMergesIntoAnExistingTarget) {
    make_sample_tree(dir / "a/");
    ASSERT_TRUE(move_directory(dir.cp("a/"), dir.cp("b/"), false));
    EXPECT_EQ(read_bytes(dir / "b/.0/1") + (exists(dir / "a") ? "left" : ""), "\r\nbody\r\n");
    // Onto an existing target or into its own sub-folder: refused, nothing changes.
    write_bytes(dir / "d/precious", "p");
    EXPECT_FALSE(move_directory(dir.cp("b/"), dir.cp("d/"), false) || move_directory(dir.cp("b/"), dir.cp("b/仕事/c/"), false));
    EXPECT_EQ(std::pair(list_names(dir / "d"), list_names(dir / "b")), std::pair(names{"precious"}, names{".0", "arrange.lst", "仕事"}));
    // With replace the old target goes to the trash.
    ASSERT_TRUE(move_directory(dir.cp("b/"), dir.cp("d/"), true));
    EXPECT_EQ(trashed("d/precious") + read_bytes(dir / "d/.0/0"), "pSubject: a\r\n");
}

// Steps relative to an open directory: a new file appears whole under a name nobody holds, a
// rename or link never replaces, and what is read is the whole file, however its size
// compares with the first read.
TEST_F(Files, OpenDirectoryStepsNeverReplaceAndReadWholeFiles) {
    open_directory here(dir.cp());
    ASSERT_TRUE(here.is_open());
    write_bytes(dir / "kept", "old");
    EXPECT_TRUE(!here.write_new_file("kept", "new", 0600) && errno == EEXIST);

    const struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
    std::string read;
    for (std::size_t size : {0u, 1u, 4095u, 65537u}) {
        const std::string bytes = size ? std::string(size - 1, 'x') + "\r" : "", name = "f" + std::to_string(size);
        struct stat status {};
        ASSERT_TRUE(here.write_new_file(name, bytes, 0400, times) && here.read_file(name, read, &status));
        EXPECT_EQ(std::tuple(read, status.st_mode & 0777, status.st_mtim.tv_sec), std::tuple(bytes, 0400u, 1200000000));
    }

    ASSERT_TRUE(here.make_directory("sub"));
    open_directory sub(dir.cp("sub/"));
    EXPECT_TRUE(sub.link_from(here, "kept", "linked") && !sub.link_from(here, "f1", "linked") && !here.rename_new("f0", "f1"));
    EXPECT_EQ(read_bytes(dir / "kept") + read_bytes(dir / "sub/linked") + read_bytes(dir / "f1"), "oldold\r");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(here.read_file("missing", read) || here.read_file("sub", read) || here.read_file("pipe", read));
}

}  // namespace
}  // namespace qm::test
