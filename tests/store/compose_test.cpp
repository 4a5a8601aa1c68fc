#include "config/address_book.h"
#include "config/signatures.h"
#include "message/header_fields.h"
#include "platform/attributes.h"
#include "store/attachments.h"
#include "store/compose.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

const std::string draft_status = "[mail status]\ntype=D\nattachment=-\nreplied=-\nforwarded=-\n";
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
    struct row { std::string templ, to, subject, sig, cc, bcc, name, header, body; };
    for (const row& r : std::vector<row>{
             {"", "b@example.com", "件名", "", "", "", "Taro",
              "Date: *\nFrom: \"Taro\" <taro@example.jp>\nSubject: 件名\nTo: b@example.com\n", ""},
             {"", "team", "", "sig", "jiro", "team", "太郎",
              "Date: *\nFrom: taro@example.jp (太郎)\nTo: hanako@example.jp,\n c@example.jp,\n jiro@example.jp\n"
              "Cc: jiro@example.jp\nBcc: hanako@example.jp,\n c@example.jp,\n jiro@example.jp\n",
              "\n-- \nTaro\n"},
             {"tpl", "b@example.com", "typed", "sig", "", "x@example.net", "",
              "To: t@example.jp\nSubject: tpl\nDate: *\nFrom: taro@example.jp\nBcc: x@example.net\n",
              "template body\n\n-- \nTaro\n"}}) {
        ctx.account.auto_cc = r.cc;
        ctx.account.auto_bcc = r.bcc;
        ctx.account.name = sj(r.name);
        int n = create_new_mail_with_body(ctx, r.templ, r.to, sj(r.subject), r.sig, "", report, false);
        ASSERT_GE(n, 0) << r.to;
        EXPECT_EQ(draft(n, "0"), r.header);
        EXPECT_EQ(draft(n, "1"), r.body);
        EXPECT_EQ(draft(n, "status.ini"), draft_status);
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
    std::string image_only = source(1, "From: a@example.org\n", "Content-Type: image/png\n\nAAAA\n");
    EXPECT_EQ(create_forward(ctx, image_only, "b@example.com", report, false), -1);
    EXPECT_EQ(report.texts().back(), "このメールにはtext/plainコンテンツが存在しません.");
    EXPECT_EQ(list_names(at(" 送信箱/草稿")), names{});
}

TEST_F(Compose, RepliesAnswerReplyToOrFromAndCarryTheIdentifiersAndTheSubject) {
    ctx.account.auto_cc = "jiro";
    struct row { std::string header; bool all, quote; std::string sig, reply_header, body; };
    for (const row& r : std::vector<row>{
             {"From: Sender <s@example.org>\nTo: taro@example.jp\nSubject: re: test\nMessage-ID: <3@x>\n"
              "References: <1@x>\n <2@x>\n",
              false, true, "",
              "Date: *\nFrom: \"Taro\" <taro@example.jp>\nSubject: Re: test\nTo: s@example.org\n"
              "Cc: jiro@example.jp\nIn-Reply-To: <3@x>\nReferences: <1@x>\n <2@x>\n <3@x>\n",
              "> \n> line1\n> line2\n\n"},
             {"From: s@example.org\nReply-To: r1@example.org, R2 <r2@example.org>\n"
              "To: taro@example.jp,\n x@example.org\nCc: taro@example.jp, y@example.org,\n z@example.org\n"
              "Subject: test\nIn-Reply-To: <9@x>\n",
              true, false, "sig",
              "Date: *\nFrom: \"Taro\" <taro@example.jp>\nSubject: Re: test\nTo: r1@example.org,\n r2@example.org,\n"
              " x@example.org\nCc: y@example.org,\n jiro@example.jp,\n z@example.org\nReferences: <9@x>\n",
              "\n-- \nTaro\n"}}) {
        std::string src = source(3, r.header);
        EXPECT_EQ(reply_to_all_possible(src), r.all);
        std::string subject = reply_subject(get_subject(src + "0", subject_limit + 1));
        int n = create_reply(ctx, src, "", r.all, subject, r.quote, r.sig, report, false);
        ASSERT_GE(n, 0) << report.texts().size();
        EXPECT_EQ(draft(n, "0"), r.reply_header);
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
    EXPECT_TRUE(reply_to_all_possible(source(1, "From: a@x.org\nTo: b@x.org,\n c@x.org\n")) &&
                reply_to_all_possible(source(2, "From: a@x.org\nTo: b@x.org\nCc: c@x.org\n")));
    for (auto [subject, reply] : std::vector<std::pair<std::string, std::string>>{
             {"re: test", "Re: test"}, {"RE:   x", "Re: x"}, {"Re: Re: y", "Re: Re: y"}, {"Fwd: z", "Re: Fwd: z"},
             {std::string(300, 'a'), "Re: " + std::string(252, 'a')}})
        EXPECT_EQ(reply_subject(subject), reply);
}

TEST_F(Compose, ForwardCopiesTheSenderLinesAndTheText) {
    std::string src = source(0, "Date: 2 Mar 2010 23:30 -0500\nfrom: Sender <s@example.org>\nTo: taro@example.jp\n"
                                "Subject: FW: report\nX-Mailer: Mua\n 1\nReceived: x\n y\nReply-To: r@example.org\n"
                                "Message-ID: <f@x>\nIn-Reply-To: <e@x>\n");
    int n = create_forward(ctx, src, "team", report, false);
    ASSERT_GE(n, 0);
    // The forward carries the conversation on in References, but answers nobody.
    EXPECT_EQ(draft(n, "0"),
              "From: \"Taro\" <taro@example.jp>\nSubject: Fwd: report\nTo: hanako@example.jp,\n c@example.jp,\n"
              " jiro@example.jp\nDate: *\nReferences: <e@x>\n <f@x>\n");
    EXPECT_EQ(draft(n, "1"),
              separator + "\nDate: 2 Mar 2010 23:30 -0500\nfrom: Sender <s@example.org>\nX-Mailer: Mua\n 1\n"
                          "Reply-To: r@example.org\n" + separator + "\n\nline1\nline2\n");
    EXPECT_EQ(read_bytes(u8(src) + "status.ini"), type_status('R') + "forwarded=+\r\n");
}

// Asked for, the attachments come along as the bytes they were sent with, under their names; the HTML
// beside the text is no attachment.
TEST_F(Compose, ForwardTakesTheAttachmentsWhenAsked) {
    const std::string src = cp(" 受信箱/.5/");
    write_message(at(" 受信箱/.5/"),
                  {crlf("From: s@example.org\nSubject: files\n"), crlf("\ntext\n"),
                   crlf("Content-Type: text/html\n\n<p>text</p>\n"),
                   crlf("Content-Type: application/pdf; name=\"a.pdf\"\nContent-Transfer-Encoding: base64\n\nJVBERi0xLjQK\n"),
                   crlf(sj("Content-Type: text/plain\nContent-Disposition: attachment; filename=\"メモ.txt\"\n\nnote\n"))},
                  type_status('R'));
    ASSERT_EQ(create_forward(ctx, src, "b@example.com", report, false, false), 0);
    EXPECT_EQ(list_names(at(" 送信箱/草稿/.0")), (names{"0", "1", "status.ini"}));
    ASSERT_EQ(create_forward(ctx, src, "b@example.com", report, false, true), 1);
    const std::string draft = at(" 送信箱/草稿/.1/");
    EXPECT_EQ(list_names(draft), (names{"0", "1", "2", "3", "status.ini"}));
    std::string name;
    EXPECT_TRUE(restore_part(sj(draft), 2, dir.cp("a")) && restore_part(sj(draft), 3, dir.cp("b")) &&
                get_part_filename(sj(draft), 3, name, 256));
    EXPECT_EQ(read_bytes(dir / "a") + read_bytes(dir / "b") + u8(name), "%PDF-1.4\nnote\r\nメモ.txt");
    EXPECT_NE(read_bytes(draft + "status.ini").find("attachment=+"), std::string::npos);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_FALSE(exists(dir / "work/forwarded.$$$"));
}

TEST_F(Compose, ResendCopiesASentMessageAsAWritableDraftWithANewDate) {
    const std::string sent = at(" 送信箱/送信控/.4/");
    write_message(sent, {"Date: Tue, 2 Mar 2010 23:30:00 -0500\r\nTo: b@example.com\r\nSubject: again\r\n",
                         "\r\nbody\r\n", "Content-Type: application/octet-stream\r\n\r\nAAAA\r\n"},
                  "[mail status]\r\ntype=S\r\nattachment=+\r\nreplied=+\r\n");
    ASSERT_TRUE(set_attributes(sj(sent + "0"), read_only_mark) && set_attributes(sj(sent + "1"), read_only_mark));
    int n = resend_message(ctx, sj(sent), report, false);
    ASSERT_GE(n, 0);
    EXPECT_EQ(draft(n, "0"), "Date: *\nTo: b@example.com\nSubject: again\n");
    const std::string draft = at(" 送信箱/草稿/." + std::to_string(n) + "/");
    EXPECT_EQ(read_bytes(draft + "1") + read_bytes(draft + "2"), "\r\nbody\r\n" + read_bytes(sent + "2"));
    EXPECT_EQ(shown(draft + "status.ini"), "[mail status]\ntype=D\nattachment=+\nreplied=-\nforwarded=-\n");
    EXPECT_FALSE(is_read_only(sj(draft + "0")) || is_read_only(sj(draft + "1")));
}

TEST_F(Compose, QuotingKeepsEveryByteOfLongLines) {
    const std::string long_line = std::string(997, 'a') + sj("漢字") + "b";  // 漢 would cross 1000 bytes
    for (auto [text, quoted] : std::vector<std::pair<std::string, std::string>>{
             {"\nA\n", "> \n> A\n\n"}, {"x", "> x\n"}, {"", "\n"},
             {long_line + "\n", "> " + std::string(997, 'a') + "\n> " + sj("漢字") + "b\n\n"}}) {
        write_bytes(dir / "dst", "");
        ASSERT_TRUE(append_quoted(dir.cp("dst"), text, "> "));
        EXPECT_EQ(read_bytes(dir / "dst"), crlf(quoted));
    }
}

}  // namespace
}  // namespace qm::test
