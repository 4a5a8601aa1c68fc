#include "config/list_file.h"

#include <sys/stat.h>

#include <cstdio>

#include "config/signatures.h"
#include "config_test.h"
#include "platform/file_operations.h"

namespace qm::test {
namespace {

struct list_file_test : file_test {
    list_file_test() : file_test("arrange.lst") {}
};

TEST_F(list_file_test, items_inserted_at_their_index_stay_in_byte_order) {
    EXPECT_EQ(list_count(path), -1);
    EXPECT_EQ(list_insert_index(path, "beta"), -1);
    for (auto [name, text] : {std::pair{"beta", "b1\nb2"}, {"alpha", ""}, {"gamma", "g1"}})
        ASSERT_TRUE(list_insert(path, list_insert_index(path, name), name, text));
    EXPECT_EQ(contents(), crlf("\talpha\n\tbeta\nb1\nb2\n\tgamma\ng1\n"));
    // Byte order: upper case before lower case, 0x80 and up last.
    EXPECT_EQ(list_insert_index(path, "Zeta"), 0);
    EXPECT_EQ(list_insert_index(path, "\x82\xa0"), 3);

    std::string name, line;
    EXPECT_TRUE(list_name_at(path, 2, name, 4) && list_text_line(path, "beta", 1, line));
    EXPECT_EQ(name + line, "gamb2");
    EXPECT_FALSE(list_name_at(path, 3, name) || list_has(path, "Gamma") || list_text_line(path, "alpha", 0, line));

    ASSERT_TRUE(list_delete_named(path, "beta"));
    ASSERT_TRUE(list_delete_at(path, 0));
    EXPECT_FALSE(list_delete_at(path, 1));
    EXPECT_EQ(contents(), crlf("\tgamma\ng1\n"));

    given("loose\ntext\n");
    EXPECT_EQ(list_count(path), 0);
    ASSERT_TRUE(list_insert(path, 0, "a", "x"));
    EXPECT_EQ(contents(), crlf("loose\ntext\n\ta\nx\n"));
}

// Lines around the 255-character piece length are copied unchanged.
TEST_F(list_file_test, long_text_lines_survive_every_rewrite) {
    for (std::size_t length : {254u, 255u, 256u, 300u, 509u, 510u, 511u}) {
        SCOPED_TRACE(length);
        std::string long_line(length, 'x');
        long_line.back() = 'y';
        std::remove(file.c_str());
        ASSERT_TRUE(list_insert(path, -1, "first", long_line + "\nshort"));
        ASSERT_TRUE(list_insert(path, 0, "zero", long_line));
        EXPECT_EQ(contents(), crlf("\tzero\n" + long_line + "\n\tfirst\n" + long_line + "\nshort\n"));
        std::string piece;
        ASSERT_TRUE(list_text_line(path, "first", 0, piece));
        EXPECT_EQ(piece, long_line.substr(0, 255));

        write_bytes(dir / "draft.txt", "Hi\r\n");
        ASSERT_TRUE(list_append_text(path, "first", dir.cp("draft.txt")));
        EXPECT_FALSE(list_append_text(path, "none", dir.cp("draft.txt")));
        EXPECT_EQ(read_bytes(dir / "draft.txt"), crlf("Hi\n" + long_line + "\nshort\n"));

        ASSERT_TRUE(list_delete_at(path, 0));
        EXPECT_EQ(contents(), crlf("\tfirst\n" + long_line + "\nshort\n"));
    }
}

// A last line without a line feed (a file written by hand) stays a line of its own.
TEST_F(list_file_test, an_entry_after_a_last_line_without_line_feed_starts_a_line_of_its_own) {
    for (const char* last : {"\ta\r\nx", "\ta", "\ta\r\nx\x1a"}) {
        SCOPED_TRACE(last);
        write_bytes(file, last);
        ASSERT_TRUE(list_insert(path, -1, "b", "y"));
        EXPECT_EQ(list_count(path), 2);
        std::string line;
        EXPECT_TRUE(list_text_line(path, "b", 0, line) && line == "y");
        EXPECT_TRUE(contents().ends_with("\r\n\tb\r\ny\r\n")) << contents();
    }
    write_bytes(file, "\ta\r\nx");
    write_bytes(dir / "draft.txt", "Hi\r\n");
    ASSERT_TRUE(list_append_text(path, "a", dir.cp("draft.txt")));
    EXPECT_EQ(read_bytes(dir / "draft.txt"), "Hi\r\nx\r\n");
}

TEST_F(list_file_test, failures_leave_files_as_they_were) {
    given("\ta\nx\n");
    const std::string before = contents();
    ASSERT_EQ(::mkdir((dir / "arrange.$$$").c_str(), 0700), 0);
    EXPECT_FALSE(list_insert(path, -1, "b", "y"));
    EXPECT_FALSE(list_delete_named(path, "a"));
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(list_names(dir.path()), (names{"arrange.$$$", "arrange.lst"}));
    ASSERT_EQ(::rmdir((dir / "arrange.$$$").c_str()), 0);

    // Items that would not read back as written are refused.
    for (auto [name, text] : {std::pair<std::string, std::string>{"two\nlines", ""}, {"b", "ok\n\tan item?"},
                              {"b", std::string(255, 'x') + "\tpiece"}, {"b", "cut\x1a"}, {std::string(254, 'n'), ""}})
        EXPECT_FALSE(list_insert(path, -1, name, text)) << text;
    EXPECT_EQ(contents(), before);

    EXPECT_FALSE(list_delete_at(dir.cp("missing.lst"), 0));
    EXPECT_FALSE(list_append_text(path, "a", dir.cp("arrange.lst/inner.txt")));
    EXPECT_EQ(list_names(dir.path()), names{"arrange.lst"});
}

TEST_F(list_file_test, garbage_never_breaks_the_readers) {
    using namespace std::string_literals;
    write_bytes(file, "\x81\t\0\r\r\n\t\x82\r\n\0\n\t\n"s + std::string(1000, '\xfc') + "\r\t\x1a\tafter\r\n"s);
    EXPECT_EQ(list_count(path), 2);
    EXPECT_FALSE(list_has(path, "after"));
    std::string line;
    ASSERT_TRUE(list_text_line(path, "\x82", 0, line));
    EXPECT_EQ(line, "\0"s);
    ASSERT_TRUE(list_insert(path, 1, "new", "t"));
    ASSERT_TRUE(list_delete_named(path, ""));
    EXPECT_EQ(list_count(path), 2);
    EXPECT_EQ(list_count(dir.cp()), -1);
}

TEST(Signatures, StandInNameOrderAndTheLastOneTakesTheFile) {
    temp_dir dir;
    const std::string account = dir.cp();
    for (auto [name, text] : {std::pair{"beta", "b1"}, {"alpha", "一行目\n二行目"}, {"gamma", ""}})
        ASSERT_TRUE(save_signature(account, name, sj(text)));
    for (const std::string& refused : {std::string("beta"), std::string(128, 'n'), std::string()})
        EXPECT_FALSE(save_signature(account, refused, "x"));
    EXPECT_EQ(read_bytes(dir / "sign.lst"), sj("\talpha\r\n一行目\r\n二行目\r\n\tbeta\r\nb1\r\n\tgamma\r\n"));
    std::string name;
    EXPECT_TRUE(signature_name(account, 2, name) && name == "gamma");
    EXPECT_FALSE(signature_name(account, 3, name));

    // Lines for an edit field, cut to the capacity, never inside a character.
    EXPECT_EQ(signature_text(account, "alpha", 256), sj("一行目\r\n二行目\r\n"));
    EXPECT_EQ(signature_text(account, "alpha", 11), sj("一行目\r\n二"));
    EXPECT_EQ(signature_text(account, "alpha", 10), sj("一行目\r\n"));
    EXPECT_EQ(clean_list_text(sj("\t署名\r\n  行\t2\r\n\r\n")), sj("署名\n  行2\n"));

    write_text_file(dir.cp("1"), "body\n\n");
    ASSERT_TRUE(append_signature(account, "gamma", dir.cp("1")));  // adds nothing
    ASSERT_TRUE(append_signature(account, "beta", dir.cp("1")));
    EXPECT_FALSE(append_signature(account, "delta", dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), "body\r\n\r\nb1\r\n");

    for (int left = 3; left > 0; --left) ASSERT_TRUE(delete_signature(account, 0));
    EXPECT_FALSE(exists(dir / "sign.lst"));
}

TEST(Signatures, AnEditWritesTheNewEntryBeforeTheOldOneGoes) {
    temp_dir dir;
    const std::string account = dir.cp();
    for (const char* name : {"a", "m", "z"}) ASSERT_TRUE(save_signature(account, name, name));
    ASSERT_TRUE(replace_signature(account, "m", "m", "edited"));  // the same name keeps its place
    ASSERT_TRUE(replace_signature(account, "a", "y", "renamed"));
    EXPECT_EQ(read_bytes(dir / "sign.lst"), "\tm\r\nedited\r\n\ty\r\nrenamed\r\n\tz\r\nz\r\n");
    // A text that cannot be stored, a name taken by another, a missing one: the list stays as it was.
    const std::string before = read_bytes(dir / "sign.lst");
    EXPECT_FALSE(replace_signature(account, "m", "m", "\tlooks like an item"));
    EXPECT_FALSE(replace_signature(account, "m", "z", "x"));
    EXPECT_FALSE(replace_signature(account, "gone", "new", "x"));
    EXPECT_EQ(read_bytes(dir / "sign.lst"), before);
}

TEST(Templates, FillADraftAndStayPaired) {
    temp_dir dir;
    const std::string account = dir.cp();
    ASSERT_TRUE(save_template(account, "work", "To: boss@example.com\nCc: team@example.com", sj("お疲れ様です.")));
    ASSERT_TRUE(save_template(account, "home", "To: family@example.com", ""));
    std::string name, header, body;
    EXPECT_TRUE(template_name(account, 0, name) && name == "home");
    ASSERT_TRUE(template_text(account, "work", header, 256, body, 256));
    EXPECT_EQ(header + body, "To: boss@example.com\r\nCc: team@example.com\r\n" + sj("お疲れ様です.\r\n"));

    write_text_file(dir.cp("0"), "Subject: x\n");
    ASSERT_TRUE(apply_template(account, "work", dir.cp("0"), dir.cp("1")));
    ASSERT_TRUE(apply_template(account, "home", dir.cp("0"), ""));
    EXPECT_EQ(read_bytes(dir / "0"), "Subject: x\r\nTo: boss@example.com\r\nCc: team@example.com\r\nTo: family@example.com\r\n");
    EXPECT_EQ(read_bytes(dir / "1"), sj("お疲れ様です.\r\n"));

    // A failed body list takes back only the new header entry; a header without its body is never applied.
    const std::string headers = read_bytes(dir / "templt_h.lst");
    make_directory(dir.cp("templt_b.$$$"));
    EXPECT_FALSE(save_template(account, "new", "To: x@example.com", "text"));
    EXPECT_EQ(read_bytes(dir / "templt_h.lst"), headers);
    remove_directory(dir.cp("templt_b.$$$"));
    write_bytes(dir / "templt_h.lst", headers + "\tlonely\r\nTo: a@b\r\n");
    EXPECT_FALSE(template_text(account, "lonely", header, 256, body, 256));
    EXPECT_FALSE(apply_template(account, "lonely", dir.cp("0"), dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), sj("お疲れ様です.\r\n"));

    write_bytes(dir / "templt_h.lst", headers);
    // An edit writes both new entries first; a failed body write takes back the new header entry.
    ASSERT_TRUE(replace_template(account, "work", "office", "To: desk@example.com", "hi"));
    EXPECT_EQ(read_bytes(dir / "templt_h.lst"), "\thome\r\nTo: family@example.com\r\n\toffice\r\nTo: desk@example.com\r\n");
    EXPECT_EQ(read_bytes(dir / "templt_b.lst"), "\thome\r\n\toffice\r\nhi\r\n");
    const std::string edited_headers = read_bytes(dir / "templt_h.lst");
    make_directory(dir.cp("templt_b.$$$"));
    EXPECT_FALSE(replace_template(account, "office", "work", "To: x@example.com", "x"));
    remove_directory(dir.cp("templt_b.$$$"));
    EXPECT_EQ(read_bytes(dir / "templt_h.lst"), edited_headers);
    ASSERT_TRUE(delete_template(account, 1));
    EXPECT_TRUE(template_exists(account, "home") && !template_exists(account, "office"));
    ASSERT_TRUE(delete_template(account, 0));
    EXPECT_FALSE(exists(dir / "templt_h.lst") || exists(dir / "templt_b.lst"));
}

}  // namespace
}  // namespace qm::test
