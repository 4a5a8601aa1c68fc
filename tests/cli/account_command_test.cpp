// quillmere-cli account: accounts made, changed and removed from a shell read
// back as the account dialog would have saved them; a refusal leaves the data
// directory as it was. (Accounts it adds sync in sync_command_test.)

#include "cli_runner.h"

namespace qm::test {
namespace {

const std::string required = " --address taro@example.jp --pop-server pop.example.jp --pop-user taro"
                             " --smtp-server smtp.example.jp";

class AccountCommand : public cli_test {
protected:
    std::string file(const std::string& title) { return read_bytes(home / ("mailbox/" + title + "/account.ini")); }
};

TEST_F(AccountCommand, AddsSetsListsAndRemoves) {
    write_bytes(home / "passwords", "pop ひみつ\nsmtp secret\n");
    EXPECT_EQ(run_ok("account add 仕事 --name 'Taro' --smtp-auth --no-verify-certificate --auto-cc boss" + required +
                     " --password-fd 3 3<'" + home / "passwords" + "'").err, "");
    const std::string stored = file("仕事");
    EXPECT_EQ(stored, crlf("[account]\nname=Taro\naddress=taro@example.jp\nPOP server=pop.example.jp\nPOP port=110\n"
                           "POP over SSL=-\nAPOP=-\nPOP id=taro\nPOP password=?/0/\x7F\x1D\xCF\x1D\xC2\x1D\xDD\n"
                           "POP remove=+\nSMTP server=smtp.example.jp\nSMTP port=25\nSMTP over SSL=-\nSMTP AUTH=+\n"
                           "SMTP id=\nSMTP password=?,2+/\x7F,:<-:+\nauto Cc=boss\nauto Bcc=\nverify certificate=-\n"
                           "SMTP STARTTLS=-\nPOP STLS=-\n"));
    EXPECT_EQ(run("account list").out, "仕事\tcomplete\n標準アカウント\tincomplete\n");

    // Only what is given changes; a switch goes off with its --no- form.
    run_ok("account set 仕事 --pop-port 995 --no-pop-remove --smtp-user tar0 --smtp-starttls");
    std::string expected = stored;
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"POP port=110", "POP port=995"}, {"POP remove=+", "POP remove=-"}, {"SMTP id=", "SMTP id=tar0"},
             {"SMTP STARTTLS=-", "SMTP STARTTLS=+"}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(file("仕事"), expected);
    run_ok("account remove 仕事 --yes");
    EXPECT_EQ(list_names(home / "mailbox"), names{"標準アカウント"});
}

TEST_F(AccountCommand, RefusalsChangeNothing) {
    run_ok("account add acct" + required + " --password-fd 0", "pw\n");
    const auto before = tree_snapshot(home.path());
    run_refused("account set acct --title 標準アカウント", "すでに同名のものが存在します.");
    run_ok("account remove acct", "y\nno\n", 1, "nothing was removed");
    // (A password kept in the keyring instead: the account dialog's and the rounds' tests.)
    run_refused("account add other" + required + " --pop-oauth2 --oauth2-preset google --oauth2-client-id x", "OAuth 2.0 は SSL/TLS");
    EXPECT_EQ(tree_snapshot(home.path()), before);
}

}  // namespace
}  // namespace qm::test
