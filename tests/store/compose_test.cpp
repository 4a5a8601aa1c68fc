#include "config/address_book.h"
#include "config/signatures.h"
#include "message/header_fields.h"
#include "store/attachments.h"
#include "store/compose.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

const std::string separator(76, '=');

// A file as UTF-8 with "\n", its fresh Date value as "*".
std::string shown(const std::string& path) {
    return std::regex_replace(date_marked(u8(read_bytes(path))), std::regex("\r\n"), "\n");
}

// The account "acct" with an address book, a group, a signature and a template.
class Compose : public store_test {
protected:
    void SetUp() override {
        std::filesystem::remove(dir / "work");  // made when needed
        ASSERT_TRUE(add_address_entry("hanako", "hanako@example.jp") && add_address_entry("jiro", "jiro@example.jp"));
        ASSERT_TRUE(write_group("team", "hanako,jiro,c@example.jp"));
        ASSERT_TRUE(save_signature(account, "sig", "-- \nTaro"));
        ASSERT_TRUE(save_template(account, "tpl", "To: t@example.jp\nSubject: tpl", "template body"));
        ctx = {dir.cp(), account, dir.cp("work/"), {}};
        ctx.account.name = "Taro";
        ctx.account.address = "taro@example.jp";
    }
    std::string draft(int n, std::string_view file) const {
        return shown(at(" 送信箱/草稿/." + std::to_string(n) + "/" + std::string(file)));
    }
    // A received message ".<n>" of the inbox (UTF-8 texts with "\n"), read.
    std::string source(int n, std::string_view header, std::string_view part1 = "\nline1\nline2\n") const {
        message(" 受信箱/", n, 'R', {stored(header), stored(part1)});
        return cp(" 受信箱/." + std::to_string(n) + "/");
    }

    compose_context ctx;
};

TEST_F(Compose, NewMailTakesTemplateGroupsEntriesAutomaticRecipientsAndSignature) {
    write_bytes(dir / "work/0.pop", "download");
    write_bytes(dir / "work/7.smt", "prepared");
    // The header each makes (NAME.draft) is in tests/data/store.
    struct row { std::string draft, templ, to, subject, sig, cc, bcc, name, body; };
    for (const row& r : std::vector<row>{
             {"new_mail_groups", "", "team", "", "sig", "jiro", "team", "太郎", "\n-- \nTaro\n"},
             {"new_mail_template", "tpl", "b@example.com", "typed", "sig", "", "x@example.net", "", "template body\n\n-- \nTaro\n"}}) {
        ctx.account.auto_cc = r.cc;
        ctx.account.auto_bcc = r.bcc;
        ctx.account.name = sj(r.name);
        int n = create_new_mail_with_body(ctx, r.templ, r.to, sj(r.subject), r.sig, "", report, false);
        ASSERT_GE(n, 0) << r.to;
        EXPECT_EQ(draft(n, "0"), read_bytes(test_data + "store/" + r.draft + ".draft"));
        EXPECT_EQ(draft(n, "1"), r.body);
        EXPECT_EQ(draft(n, "status.ini"), "[mail status]\ntype=D\nattachment=-\nreplied=-\nforwarded=-\n");
    }
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(read_bytes(dir / "work/0.pop") + read_bytes(dir / "work/7.smt"), "downloadprepared");
}

TEST_F(Compose, AFailedDraftShowsItsMessageAndFilesNothing) {
    const std::string bad_header = "メールアドレスもしくはテンプレートのヘッダ内容に誤りがあります.";
    struct row { std::string address, templ, to, message; };
    for (const row& r : std::vector<row>{{"", "", "b@example.com", bad_header}, {"taro@example.jp", "", "", bad_header},
                                         {"taro@example.jp", "none", "b@example.com", file_error}}) {
        report.shown.clear();
        ctx.account.address = r.address;
        EXPECT_EQ(create_new_mail_with_body(ctx, r.templ, r.to, "s", "", "", report, false), -1);
        EXPECT_EQ(report.texts(), names{r.message});
    }
    EXPECT_EQ(create_reply(ctx, source(0, "Subject: x\n"), "", false, "Re: x", true, "", report, false), -1);
    EXPECT_EQ(report.texts().back(), "送信者が不明です.");
    EXPECT_EQ(list_names(at(" 送信箱/草稿")), names{});
}

TEST_F(Compose, RepliesAnswerReplyToOrFromAndCarryTheIdentifiersAndTheSubject) {
    ctx.account.auto_cc = "jiro";
    // The source header (NAME.eml) and the reply's header (NAME.draft) are in tests/data/store. A quoted line
    // is cut before 1000 bytes, never inside a character.
    const std::string a997(997, 'a'), text = "\nline1\n" + a997 + "漢字b\n";
    struct row { std::string name; bool all, quote; std::string sig, body; };
    for (const row& r : std::vector<row>{{"reply_to_sender", false, true, "", "> \n> line1\n> " + a997 + "\n> 漢字b\n\n"},
                                         {"reply_to_all", true, false, "sig", "\n-- \nTaro\n"}}) {
        std::string src = source(3, read_bytes(test_data + "store/" + r.name + ".eml"), text);
        EXPECT_EQ(reply_to_all_possible(src), r.all);
        std::string subject = reply_subject(get_subject(src + "0", subject_limit + 1));
        int n = create_reply(ctx, src, "", r.all, subject, r.quote, r.sig, report, false);
        ASSERT_GE(n, 0) << report.texts().size();
        EXPECT_EQ(draft(n, "0"), read_bytes(test_data + "store/" + r.name + ".draft"));
        EXPECT_EQ(draft(n, "1"), r.body);
        EXPECT_EQ(read_bytes(u8(src) + "status.ini"), type_status('R') + "replied=+\r\n");
    }
    // A long conversation loses its oldest ids first, so that the ids fit one line of mail.
    std::string chain;
    for (int i = 0; i < 100; ++i) chain += " <" + std::to_string(1000 + i) + "@example.org>";
    std::string long_one = source(4, "From: a@x.org\nSubject: x\nMessage-ID: <last@x>\nReferences:" + chain + "\n");
    ASSERT_GE(create_reply(ctx, long_one, "", false, "Re: x", false, "", report, false), 0);
    std::string joined = std::regex_replace(draft(2, "0"), std::regex("\n"), "");
    joined = joined.substr(joined.find("References: "));
    EXPECT_TRUE(joined.ends_with(" <1099@example.org> <last@x>") && joined.size() <= 998u && joined.size() > 998u - 20 &&
                joined.find("<1000@") == std::string::npos)
        << joined;
    for (auto [subject, reply] : std::vector<std::pair<std::string, std::string>>{
             {"re: test", "Re: test"}, {"RE:   x", "Re: x"}, {"Re: Re: y", "Re: Re: y"}, {"Fwd: z", "Re: Fwd: z"},
             {std::string(300, 'a'), "Re: " + std::string(252, 'a')}})
        EXPECT_EQ(reply_subject(subject), reply);
}

// The forward carries the conversation on in References but answers nobody; asked for, the attachments come
// along as the bytes they were sent with, under their names, and the HTML beside the text is no attachment.
// (A source without a text part is met through the forward dialog.)
TEST_F(Compose, ForwardCopiesTheSenderLinesTheTextAndTheAttachments) {
    std::string src = source(0, read_bytes(test_data + "store/forward_sender_lines.eml"));
    const std::string parts[] = {
        "Content-Type: text/html\n\n<p>text</p>\n",
        "Content-Type: application/pdf; name=\"a.pdf\"\nContent-Transfer-Encoding: base64\n\nJVBERi0xLjQK\n",
        "Content-Type: text/plain\nContent-Disposition: attachment; filename=\"メモ.txt\"\n\nnote\n"};
    for (int k = 0; k < 3; ++k) write_bytes(at(" 受信箱/.0/" + std::to_string(k + 2)), stored(parts[k]));
    ASSERT_EQ(create_forward(ctx, src, "team", report, false, true), 0);
    EXPECT_EQ(draft(0, "0"), read_bytes(test_data + "store/forward_sender_lines.draft"));
    EXPECT_EQ(draft(0, "1"),
              separator + "\nDate: 2 Mar 2010 23:30 -0500\nfrom: Sender <s@example.org>\nX-Mailer: Mua\n 1\n"
                          "Reply-To: r@example.org\n" + separator + "\n\nline1\nline2\n");
    EXPECT_EQ(read_bytes(u8(src) + "status.ini"), type_status('R') + "forwarded=+\r\n");
    const std::string forwarded = at(" 送信箱/草稿/.0/");
    EXPECT_EQ(list_names(forwarded), (names{"0", "1", "2", "3", "status.ini"}));
    std::string name;
    EXPECT_TRUE(restore_part(sj(forwarded), 2, dir.cp("a")) && restore_part(sj(forwarded), 3, dir.cp("b")) &&
                get_part_filename(sj(forwarded), 3, name, 256));
    EXPECT_EQ(read_bytes(dir / "a") + read_bytes(dir / "b") + u8(name), "%PDF-1.4\nnote\r\nメモ.txt");
    EXPECT_NE(read_bytes(forwarded + "status.ini").find("attachment=+"), std::string::npos);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_FALSE(exists(dir / "work/forwarded.$$$"));
}

}  // namespace
}  // namespace qm::test
