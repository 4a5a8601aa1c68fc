#include "config/signatures.h"

#include "config_test.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"

namespace qm::test {
namespace {

TEST(Signatures, StandInNameOrderAndTheLastOneTakesTheFile) {
    temp_dir dir;
    const std::string account = dir.cp();
    for (auto [name, text] : {std::pair{"beta", "b1"}, {"alpha", "一行目\n二行目"}, {"gamma", ""}})
        ASSERT_TRUE(save_signature(account, name, sj(text)));
    for (const std::string& refused : {std::string("beta"), std::string(128, 'n'), std::string()})
        EXPECT_FALSE(save_signature(account, refused, "x")) << refused;
    // An edit under a name taken by another, or of a missing one: the list stays as it was.
    EXPECT_FALSE(replace_signature(account, "beta", "gamma", "x") || replace_signature(account, "gone", "new", "x"));
    EXPECT_EQ(read_bytes(dir / "sign.lst"), sj("\talpha\r\n一行目\r\n二行目\r\n\tbeta\r\nb1\r\n\tgamma\r\n"));

    // Lines for an edit field, cut to the capacity, never inside a character.
    for (auto [capacity, text] : {std::pair{256, "一行目\r\n二行目\r\n"}, {11, "一行目\r\n二"}, {10, "一行目\r\n"}})
        EXPECT_EQ(signature_text(account, "alpha", capacity), sj(text)) << capacity;
    EXPECT_EQ(clean_list_text(sj("\t署名\r\n  行\t2\r\n\r\n")), sj("署名\n  行2\n"));
    for (int left = 3; left > 0; --left) ASSERT_TRUE(delete_signature(account, 0));
    EXPECT_FALSE(exists(dir / "sign.lst"));
}

TEST(Templates, FillADraftAndStayPaired) {
    temp_dir dir;
    const std::string account = dir.cp();
    ASSERT_TRUE(save_template(account, "work", "To: boss@example.com\nCc: team@example.com", sj("お疲れ様です.")));
    ASSERT_TRUE(save_template(account, "home", "To: family@example.com", ""));
    std::string header, body;
    ASSERT_TRUE(template_text(account, "work", header, 256, body, 256));
    EXPECT_EQ(header + body, "To: boss@example.com\r\nCc: team@example.com\r\n" + sj("お疲れ様です.\r\n"));

    write_text_file(dir.cp("0"), "Subject: x\n");
    ASSERT_TRUE(apply_template(account, "work", dir.cp("0"), dir.cp("1")) && apply_template(account, "home", dir.cp("0"), ""));
    EXPECT_EQ(read_bytes(dir / "0"), "Subject: x\r\nTo: boss@example.com\r\nCc: team@example.com\r\nTo: family@example.com\r\n");
    EXPECT_EQ(read_bytes(dir / "1"), sj("お疲れ様です.\r\n"));

    // A failed body list takes back only the new header entry; a header without its body is never applied.
    const std::string headers = read_bytes(dir / "templt_h.lst");
    make_directory(dir.cp("templt_b.$$$"));
    EXPECT_FALSE(save_template(account, "new", "To: x@example.com", "text") ||
                 replace_template(account, "work", "office", "To: x@example.com", "x"));
    EXPECT_EQ(read_bytes(dir / "templt_h.lst"), headers);
    remove_directory(dir.cp("templt_b.$$$"));
    write_bytes(dir / "templt_h.lst", headers + "\tlonely\r\nTo: a@b\r\n");
    EXPECT_FALSE(template_text(account, "lonely", header, 256, body, 256) || apply_template(account, "lonely", dir.cp("0"), dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "1"), sj("お疲れ様です.\r\n"));

    write_bytes(dir / "templt_h.lst", headers);
    EXPECT_TRUE(delete_template(account, 1) && template_exists(account, "home") && !template_exists(account, "work"));
    EXPECT_TRUE(delete_template(account, 0) && !exists(dir / "templt_h.lst") && !exists(dir / "templt_b.lst"));
}

}  // namespace
}  // namespace qm::test
