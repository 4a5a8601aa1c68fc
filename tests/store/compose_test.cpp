#include "config/address_book.h"
#include "config/profile.h"
#include "config/signatures.h"
#include "message/header_fields.h"
#include "store/address_rows.h"
#include "store/attachments.h"
#include "store/compose.h"
#include "store/store_fixture.h"
#include "text/mail_address.h"

namespace qm::test {
namespace {

// A file as UTF-8 with "\n", its fresh Date value as "*".
std::string shown(const std::string& path) {
    return std::regex_replace(date_marked(u8(read_bytes(path))), std::regex("\r\n"), "\n");
}

// The account "acct" with an address book, a group, a signature and a template.
class Compose : public store_test {
protected:
    void SetUp() override {
        std::filesystem::remove(dir / "work");  // made when needed
        ASSERT_TRUE(add_address_entry("hanako", "hanako@example.jp") && add_address_entry("jiro", "jiro@example.jp") &&
                    write_group("team", "hanako,jiro,c@example.jp") && save_signature(account, "sig", "-- \nTaro") &&
                    save_template(account, "tpl", "To: t@example.jp\nSubject: tpl", "template body"));
        ctx = {dir.cp(), account, dir.cp("work/"), {}};
        ctx.account.name = "Taro";
        ctx.account.address = "taro@example.jp";
    }
    std::string draft(int n, const char* file) const { return shown(at(" 送信箱/草稿/." + std::to_string(n) + "/" + file)); }
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
    EXPECT_EQ(std::pair(report.texts().back(), list_names(at(" 送信箱/草稿"))), std::pair(std::string("送信者が不明です."), names{}));
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
                joined.find("<1000@") == std::string::npos) << joined;
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
              std::string(76, '=') + "\nDate: 2 Mar 2010 23:30 -0500\nfrom: Sender <s@example.org>\nX-Mailer: Mua\n 1\n"
                                     "Reply-To: r@example.org\n" + std::string(76, '=') + "\n\nline1\nline2\n");
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

// ---- the parts of a draft, and the names offered for a received one ----

using Attachments = store_test;

// (Adding, restoring and removing the last part are met through the attachment dialog.)
TEST_F(Attachments, RemovingAPartLeavesNoGap) {
    const std::string message = dir.cp("m/");
    write_message(dir / "m/", {"Subject: x\r\n", "\r\nbody\r\n"});
    for (const char* name : {"a.bin", "b.txt", "c.dat"}) {
        write_bytes(dir / name, name);
        ASSERT_GT(add_attachment_part(message, dir.cp(name)), 1);
    }
    EXPECT_EQ(add_attachment_part(message, dir.cp("missing")), -1);
    ASSERT_TRUE(!remove_attachment_part(message, 1) && remove_attachment_part(message, 2));  // the text is no attachment
    std::string rows;
    for (const part_row& row : list_parts(message)) rows += std::to_string(row.number) + ":" + row.file_name + " ";
    EXPECT_EQ(rows, "2:b.txt 3:c.dat ");
    ASSERT_TRUE(remove_attachment_part(message, 3));
    EXPECT_EQ(profile_read_char(dir.cp("m/status.ini"), status_section, status_key_attachment, '?'), '+');
    EXPECT_EQ(list_names(dir / "m"), (names{"0", "1", "2", "status.ini"}));
}

// (Received parts listed, restored and renamed are met through quillmere-cli parts and the attachment dialog.)
TEST(SafeAttachmentName, OnlyTheLastPathComponentIsOffered) {
    const std::pair<std::string, std::string> rows[] = {
        {"report.pdf", "report.pdf"}, {"../../etc/passwd", "passwd"}, {"C:\\tmp\\..\\x.exe", "x.exe"},
        {"dir/", "attachment"},       {"..", "attachment"},           {"a/.", "attachment"},
        {"", "attachment"},           {sj("表.txt"), sj("表.txt")},  // 表 ends in the byte of "\"
        {sj("../ソ/能力.doc"), sj("能力.doc")}, {"\x81/etc", "etc"},  // a lead byte never takes a "/" along
        {".bashrc", "bashrc"}, {"-rf .txt", "rf .txt"}, {"a\x1b]0;x\x07.txt", "a_]0;x_.txt"}, {"...", "attachment"}};
    for (const auto& [name, offered] : rows) EXPECT_EQ(safe_attachment_name(name), offered) << name;
    // Cut to 255 bytes on disk at a character, the extension kept.
    EXPECT_EQ(safe_attachment_name(std::string(300, 'x') + ".pdf"), std::string(251, 'x') + ".pdf");
    std::string japanese;
    for (int i = 0; i < 100; ++i) japanese += sj("表");
    EXPECT_EQ(safe_attachment_name(japanese + ".doc"), japanese.substr(0, 2 * 83) + ".doc");
}

// ---- the address rows of a draft's header ----

class AddressRows : public store_test {
protected:
    // The draft's header "0" (UTF-8 text with "\n", stored as CP932 with CR LF), and its bytes.
    void header(std::string_view utf8) const { write_bytes(path_utf8, stored(utf8)); }
    std::string bytes() const { return read_bytes(path_utf8); }

    std::vector<address_row> rows() const {
        std::vector<address_row> read;
        EXPECT_TRUE(read_address_rows(path, read));
        return read;
    }
    // Each row as "kind|shown|address|name".
    names texts() const {
        names out;
        for (const address_row& r : rows())
            out.push_back(u8(address_kind_label(r.field) + "|" + r.shown + "|" + r.address + "|" + r.name));
        return out;
    }
    address_row row(std::size_t at) const { return rows().at(at); }
    int add(int field, std::string_view utf8) const { return add_address(path, field, sj(utf8)); }
    int change(std::size_t n, int field, std::string_view utf8) const {
        return change_address(path, row(n), field, sj(utf8));
    }

    static constexpr int to = 3, cc = 4, bcc = 5;
    const std::string path_utf8 = at(" 送信箱/草稿/.1/0");
    const std::string path = sj(path_utf8);
};

TEST_F(AddressRows, ReceivedHeaderGivesItsAddressesInHeaderOrder) {
    // Every kind of address field, folded and encoded, among fields that hold addresses but are none.
    header(read_bytes(test_data + "store/received_header_addresses.txt"));
    EXPECT_EQ(texts(), (names{
                           "写し        (Cc)|\"Suzuki, Ichiro\" <ichiro@example.jp>|ichiro@example.jp|Suzuki, Ichiro",
                           "差出人      (From)|taro@example.jp (山田太郎)|taro@example.jp|山田太郎",
                           "宛先        (To)|hanako@example.jp|hanako@example.jp|",
                           "宛先        (To)|山田 <yamada@example.jp>|yamada@example.jp|山田",
                           "宛先        (To)|Jiro <jiro@example.jp>|jiro@example.jp|Jiro",
                           "返信先      (Reply-To)|list@list.example|list@list.example|",
                           // The Sender's quote is never closed: it has no address to list.
                           "宛先        (To)|last@example.jp|last@example.jp|",
                       }));
}

TEST_F(AddressRows, AddingWritesAfterTheFieldsFirstLineKeepsEveryOtherByteAndExpandsEntriesAndGroups) {
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp") && add_address_entry("jiro", "jiro@example.jp") &&
                write_group(sj("営業部"), sj("花子,jiro,c@example.jp")));
    // A lone CR, a Ctrl-Z and trailing blanks stay as they are.
    const std::string rest = "Subject: \xe4\xbc\x9a\xe8\xad\xb0 \x1a end\r\nX-Odd: a\rb  \r\n";
    write_bytes(path_utf8, "From: taro@example.jp\r\nTo: a@example.jp,\r\n b@example.jp\r\n" + rest);
    ASSERT_TRUE(add(to, "c@example.jp") == 0 && add(bcc, "花子") == 0 && add(cc, "営業部") == 0);
    EXPECT_EQ(bytes(), "From: taro@example.jp\r\nTo: a@example.jp,\r\n c@example.jp,\r\n b@example.jp\r\n" + rest +
                           "Bcc: hanako@example.jp\r\nCc: hanako@example.jp,\r\n jiro@example.jp,\r\n c@example.jp\r\n");
}

// (Invalid addresses, a missing header and a failed write are met through the address list dialog.)
TEST_F(AddressRows, AStaleRowIsRefusedAndTheFileStays) {
    header("To: a@example.jp, b@example.jp\n");
    const address_row second = row(1);
    header("To: a@example.jp, x@example.jp\n");  // changed meanwhile by another program
    const std::string before = bytes();
    EXPECT_EQ(add(6, "b@example.jp"), str::invalid_address);
    EXPECT_EQ(remove_address(path, second), str::file_error);
    EXPECT_EQ(change_address(path, second, to, "c@example.jp"), str::file_error);
    EXPECT_EQ(bytes(), before);
}

TEST_F(AddressRows, ChangingKeepsThePlaceInTheFieldOrMovesTheItemWithItsName) {
    header("To: \"A\" <a@example.jp>, b@example.jp,\n  c@example.jp (See)\nSubject: s\n");
    ASSERT_TRUE(change(1, to, "bee@example.jp") == 0 && change(2, to, "sea@example.jp") == 0 &&
                change(0, to, "a@example.jp") == 0);  // the last: the same address and field, nothing to write
    EXPECT_EQ(bytes(), "To: \"A\" <a@example.jp>, bee@example.jp,\r\n  sea@example.jp\r\nSubject: s\r\n");

    header("From: taro@example.jp\nTo: 山田 <yamada@example.jp>, b@example.jp\n");
    ASSERT_EQ(change(1, cc, "yamada@example.jp"), 0);
    EXPECT_EQ(bytes(), stored("From: taro@example.jp\nTo: b@example.jp\nCc: 山田 <yamada@example.jp>\n"));
}

TEST_F(AddressRows, RemovingKeepsTheFieldWellFormedAndAnOpenQuoteStopsItsFieldOnly) {
    header("To: a@example.jp,\n b@example.jp,\n c@example.jp\nCc: d@example.jp\nSubject: s\n");
    ASSERT_EQ(remove_address(path, row(1)), 0);
    EXPECT_EQ(bytes(), "To: a@example.jp,\r\n c@example.jp\r\nCc: d@example.jp\r\nSubject: s\r\n");
    ASSERT_TRUE(remove_address(path, row(1)) == 0 && remove_address(path, row(1)) == 0);
    EXPECT_EQ(bytes(), "To: a@example.jp\r\nSubject: s\r\n");

    header("To: a@example.jp, \"Open <b@example.jp>, c@example.jp\n d@example.jp\nCc: e@example.jp\n");
    EXPECT_EQ(texts(), (names{"宛先        (To)|a@example.jp|a@example.jp|", "写し        (Cc)|e@example.jp|e@example.jp|"}));
    // What lies before the open quote can still be removed.
    EXPECT_EQ(remove_address(path, row(0)), 0);
    EXPECT_EQ(bytes(), "To: \"Open <b@example.jp>, c@example.jp\r\n d@example.jp\r\nCc: e@example.jp\r\n");
}

// (A hundred and first added alone is met through the address list dialog.)
TEST_F(AddressRows, AListHoldsAtMostAHundredAddresses) {
    ASSERT_TRUE(write_group("pair", "p@example.jp,q@example.jp"));
    std::string full = "To: a0@example.jp";
    for (int i = 1; i < 99; ++i) full += ",\n a" + std::to_string(i) + "@example.jp";
    header(full + "\n");
    EXPECT_EQ(add(cc, "pair"), str::address_list_too_many);
    ASSERT_EQ(add(cc, "c@example.jp"), 0);
    const std::string before = bytes();
    EXPECT_EQ(change(99, to, "pair"), str::address_list_too_many);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(change(99, to, "e@example.jp"), 0);  // a change takes one place and gives one back
    EXPECT_EQ(rows().size(), 100u);
}

}  // namespace
}  // namespace qm::test
