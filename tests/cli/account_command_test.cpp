// quillmere-cli account: accounts made, changed and removed from a shell read
// back as the account dialog would have saved them; every refusal leaves
// the data directory as it was. (Accounts it adds sync in sync_command_test.)

#include <tuple>

#include "cli_runner.h"
#include "config/account_settings.h"

namespace qm::test {
namespace {

const std::string required = " --address taro@example.jp --pop-server pop.example.jp --pop-user taro"
                             " --smtp-server smtp.example.jp";

class AccountCommand : public cli_test {
protected:
    std::string file(const std::string& title) { return read_bytes(home / ("mailbox/" + title + "/account.ini")); }
    std::string password(const std::string& title, std::string_view key) {
        return read_account_password(home.cp("mailbox/"), sj(title), key);
    }
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
    EXPECT_EQ(password("仕事", account_key::pop_password), sj("pop ひみつ"));
    EXPECT_EQ(password("仕事", account_key::smtp_password), "smtp secret");
    EXPECT_EQ(list_names(home / "mailbox/仕事"), (names{" ごみ箱", " 受信箱", " 送信箱", "account.ini"}));
    EXPECT_EQ(run("account list").out, "仕事\tcomplete\n標準アカウント\tincomplete\n");

    // Only what is given changes; a switch goes off with its --no- form.
    run_ok("account set 仕事 --pop-port 995 --pop-ssl --no-pop-remove --smtp-user tar0 --password --password-fd 0", "new\n");
    auto changed = [](std::string text, const std::vector<std::pair<std::string, std::string>>& changes) {
        for (const auto& [from, to] : changes) text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string expected =
        changed(stored, {{"POP port=110", "POP port=995"}, {"POP over SSL=-", "POP over SSL=+"},
                         {"POP password=?/0/\x7F\x1D\xCF\x1D\xC2\x1D\xDD", "POP password=?1:("},
                         {"POP remove=+", "POP remove=-"}, {"SMTP id=", "SMTP id=tar0"}});
    EXPECT_EQ(file("仕事"), expected);

    // An empty password is asked for at each round; a new title keeps the rest.
    run_ok("account set 仕事 --title 私用 --smtp-password --password-fd 0", "\n");
    EXPECT_EQ(file("私用"), changed(expected, {{"SMTP password=?,2+/\x7F,:<-:+", "SMTP password="}}));
    EXPECT_EQ(run("account list").out, "私用\tcomplete\n標準アカウント\tincomplete\n");

    // The upgrade replaces TLS from the first byte when the first-byte switch goes off with it.
    run_ok("account set 私用 --no-pop-ssl --pop-port 110 --pop-stls --smtp-starttls --smtp-port 587");
    EXPECT_TRUE(contains(file("私用"), "\r\nSMTP port=587\r\nSMTP over SSL=-\r\n")) << file("私用");
    const current_account account = load_current_account(home.cp("mailbox/"), sj("私用"));
    EXPECT_EQ(pop_security(account), connection_security::starttls);
    EXPECT_EQ(smtp_security(account), connection_security::starttls);
    run_ok("account set 私用 --no-smtp-starttls");
    EXPECT_TRUE(file("私用").ends_with("\r\nSMTP STARTTLS=-\r\nPOP STLS=+\r\n"));
    run_ok("account remove 私用 --yes");
    EXPECT_EQ(list_names(home / "mailbox"), names{"標準アカウント"});
}

TEST_F(AccountCommand, AnAccountFileWithoutTheUpgradeKeysReadsAsBefore) {
    run_ok("account add old --smtp-ssl --smtp-port 465" + required + " --password-fd 0", "pw\n");
    std::string text = file("old");
    text.erase(text.find("SMTP STARTTLS="));
    // Without the keys as before; a hand-made file with both switches of a server: TLS from the first byte wins.
    for (const std::string& tail : {std::string(), std::string("SMTP STARTTLS=+\r\nPOP STLS=+\r\n")}) {
        write_bytes(home / "mailbox/old/account.ini", text + tail);
        const current_account account = load_current_account(home.cp("mailbox/"), "old");
        EXPECT_EQ(smtp_security(account), connection_security::tls);
        EXPECT_EQ(pop_security(account), tail.empty() ? connection_security::none : connection_security::starttls);
    }
}

TEST_F(AccountCommand, RefusalsChangeNothing) {
    run_ok("account add acct" + required + " --password-fd 0", "pw\n");
    const auto before = tree_snapshot(home.path());
    for (auto [arguments, input, status, message] : std::vector<std::tuple<std::string, std::string, int, std::string>>{
             {"add 'a*b'" + required, "pw\n", 1, "使用できない名前です."},
             {"add ACCT --address 'taro@' --pop-server p --pop-user u --smtp-server s", "pw\n", 1,
              "無効なメールアドレスです."},
             {"add acct" + required, "pw\n", 1, "すでに同名のものが存在します."},
             {"add x --pop-port 0" + required, "pw\n", 2, "--pop-port needs a port number from 1 to 65535"},
             {"add x --smtp-ssl --smtp-starttls" + required, "pw\n", 2, "--smtp-ssl and --smtp-starttls exclude each other"},
             {"add x" + required + " --password-fd 0", std::string(128, 'p') + "\n", 1, "at most 127 bytes"},
             {"set acct --title 標準アカウント", "", 1, "すでに同名のものが存在します."},
             {"set nobody --pop-port 1", "", 1, "there is no account \"nobody\""},
             {"remove acct", "y\nno\n", 1, "nothing was removed"},
             {"rename acct", "", 2, "unknown action \"rename\""}}) {
        cli_result r = run("account " + arguments, input);
        EXPECT_EQ(r.status, status) << arguments << ": " << r.err;
        EXPECT_TRUE(contains(r.err, message)) << arguments << ": " << r.err;
        EXPECT_EQ(tree_snapshot(home.path()), before) << arguments;
    }
    run_ok("account set acct --pop-ssl --pop-port 995");
    const std::string with_ssl = file("acct");
    cli_result r = run("account set acct --pop-stls");
    EXPECT_TRUE(r.status == 2 && contains(r.err, "give --no-pop-ssl with --pop-stls")) << r.err;
    EXPECT_EQ(file("acct"), with_ssl);
    EXPECT_EQ(run_ok("account remove acct", "y\ny\n").err,
              "確認: 削除しますか? [y/N] \n確認: 以下全てのメールが削除されますがよろしいですか? [y/N] \n");
    EXPECT_FALSE(exists(home / "mailbox/acct"));
}

}  // namespace
}  // namespace qm::test
