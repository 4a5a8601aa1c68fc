#include <filesystem>
#include <regex>

#include "cli_runner.h"
#include "config/signatures.h"
#include "support/recording_program.h"

namespace qm::test {
namespace {

// Account "A" in a data directory whose text editor records its arguments.
class NewCommand : public cli_test {
protected:
    NewCommand() : cli_test("new ") {
        for (const char* folder : {" 受信箱", " 送信箱/草稿", " 送信箱/送信控", " ごみ箱"})
            std::filesystem::create_directories(home / "mailbox/A/" + folder);
        write_bytes(home / "mailbox/A/account.ini", "[account]\r\nname=Taro\r\naddress=taro@example.jp\r\n");
        EXPECT_TRUE(save_signature(home.cp("mailbox/A/"), "sig", "-- \nTaro"));
        write_bytes(home / "quillmere.ini", "[string]\r\ntext editor=" + editor.path() + "\r\n");
    }
    names drafts() { return list_names(home / "mailbox/A/ 送信箱/草稿/"); }
    recording_program editor{home / "editor", home / "editor.log"};
};

TEST_F(NewCommand, QueuesTheDraftInTheOutboxOrOpensItInTheEditor) {
    write_bytes(home / "body.txt", "\xEF\xBB\xBFこんにちは\r\n二行目");
    EXPECT_EQ(run_ok("A --to b@example.com --subject '件名' --signature sig --body '" + home / "body.txt" + "' --queue").out,
              "A/ 送信箱\t0\n");
    const std::string draft = home / "mailbox/A/ 送信箱/.0/";
    EXPECT_TRUE(std::regex_match(read_bytes(draft + "0"),
                                 std::regex("Date: .*\r\nFrom: \"Taro\" <taro@example.jp>\r\nSubject: " + sj("件名") +
                                            "\r\nTo: b@example.com\r\n")));
    EXPECT_EQ(read_bytes(draft + "1"), sj("こんにちは\r\n二行目\r\n\r\n-- \r\nTaro\r\n"));
    EXPECT_FALSE(exists(home / "editor.log"));

    // Without --queue the draft opens in the text editor (numbered 0: the queued one left the drafts).
    EXPECT_EQ(run_ok("A --to b@example.com --subject s").out, "A/ 送信箱/草稿\t0\n");
    EXPECT_EQ(editor.wait_for_runs(1), std::vector<names>{{home / "mailbox/A/ 送信箱/草稿/.0/1"}});
}

TEST_F(NewCommand, RefusesABadAddressAndMakesNoDraft) {
    run_refused("A --to 'not an address' --subject s", "無効なメールアドレスです.");
    EXPECT_EQ(drafts(), names{});
}

}  // namespace
}  // namespace qm::test
