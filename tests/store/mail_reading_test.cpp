#include "store/mail_reading.h"

#include <map>

#include "config/profile.h"
#include "store/compose.h"
#include "store/mail_list.h"
#include "store/message_opening.h"
#include "store/receive_filing.h"
#include "store/store_fixture.h"
#include "support/recording_program.h"

namespace qm::test {
namespace {

// The viewer (and for messages opened, the editor and xdg-open) are scripts that record how they were started.
class viewer_test : public store_test {
protected:
    viewer_test() {
        set_context({dir.cp(), dir.cp("tmp/"), dir.cp("work/"), dir.cp("bin/")});
        make_directory(dir.cp("tmp/"));
        settings().text_viewer = sj(viewer.path());
    }
    scoped_env path{"PATH", (dir / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str()};
    recording_program viewer{dir / "bin/viewer", dir / "viewer.log"};
    std::string inbox = cp(" 受信箱/");
    std::string message_dir(int n) const { return inbox + "." + std::to_string(n) + "/"; }
};

using runs = std::vector<std::vector<std::string>>;

class MessageOpening : public viewer_test {
protected:
    recording_program editor{dir / "bin/editor", dir / "editor.log"};
    recording_program opener{dir / "bin/xdg-open", dir / "xdg.log"};
    const std::string header = "From: a@example.com\r\nTo: b@example.com\r\nSubject: " + sj("件名") +
                               "\r\n\tmore\r\nX-Mailer: m\r\nResent-Date: d\r\n";

    MessageOpening() {
        write_bytes(dir / "quillmere.ini", "[string]\r\nopen header=From,Subject,Resent-\r\n");
        settings().text_editor = sj(editor.path());
    }
    char type_of(int n) { return profile_read_char(message_dir(n) + "status.ini", status_section, status_key_type, '?'); }
};

// The whole header alone opens without the mail turning read.
TEST_F(MessageOpening, ANewMessageOpensAsAReadOnlyCopyAndBecomesRead) {
    message(" 受信箱/", 0, '!', {header, "\r\n" + sj("本文") + "\r\n"});
    EXPECT_TRUE(open_message(inbox, account, 0, true, report).ok);
    ASSERT_EQ(viewer.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.TXT"}});
    EXPECT_EQ(std::pair(read_bytes(dir / "tmp/qlm_0000.TXT"), type_of(0)), std::pair(header, '!'));
    std::filesystem::remove(dir / "tmp/qlm_0000.TXT");
    open_outcome opened = open_message(inbox, account, 0, false, report);
    EXPECT_TRUE(opened.ok && opened.became_read && type_of(0) == 'R');
    ASSERT_EQ(viewer.wait_for_runs(2), (runs{{dir / "tmp/qlm_0000.TXT"}, {dir / "tmp/qlm_0000.TXT"}}));
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"),
              "From: a@example.com\r\nSubject: " + sj("件名") + "\r\n\tmore\r\nResent-Date: d\r\n\r\n\r\n" + sj("本文") + "\r\n");
    EXPECT_EQ(mode_of(dir / "tmp/qlm_0000.TXT"), 0400u);
}

TEST_F(MessageOpening, DraftsOpenInTheEditorExceptInTheTrash) {
    for (auto [folder, n] : {std::pair{" ごみ箱/sub/", 0}, {" 送信箱/草稿/", 3}})
        message(folder, n, 'D', {"To: x\r\n", "text\r\n"});
    EXPECT_TRUE(open_message(cp(" ごみ箱/sub/"), account, 0, false, report).ok &&
                open_message(cp(" 送信箱/草稿/"), account, 3, false, report).ok &&
                open_message(cp(" 送信箱/草稿/"), account, 3, true, report).ok);
    EXPECT_EQ(editor.wait_for_runs(2), (runs{{at(" 送信箱/草稿/.3/0")}, {at(" 送信箱/草稿/.3/1")}}));
    EXPECT_TRUE(list_names(dir / "tmp").empty());
}

TEST_F(MessageOpening, ABatchFileIsRefusedAndAMessageWithoutTextShowsNothing) {
    message(" 受信箱/", 0, '!', {header, "\r\ntext\r\n"});
    message(" 受信箱/", 1, '!', {header, "Content-Type: image/png\r\n\r\nAAAA\r\n"});
    settings().text_viewer = dir.cp("view.BAT");
    EXPECT_FALSE(open_message(inbox, account, 0, false, report).ok);
    EXPECT_EQ(type_of(0), '!');
    EXPECT_TRUE(open_message(inbox, account, 1, false, report).ok);
    EXPECT_FALSE(open_message(inbox, account, 7, false, report).ok);
    EXPECT_EQ(report.texts(), (names{"システムエラーが発生しました.", file_error}));
}

TEST_F(MessageOpening, PartsAreViewedByTheViewerOrTheHtmlProgram) {
    const std::string html = "Content-Type: text/HTML; charset=utf-8\r\n\r\n<p>x</p>\r\n";
    // An attached text file is shown as text, decoded (a part shown as stored is met through the attachment dialog).
    const std::string attached = "Content-Type: text/plain; charset=utf-8; name=\"a.txt\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    message(" 受信箱/", 0, 'R', {header, "\r\n", html, attached + "5pel5pysCg==\r\n"});
    ASSERT_TRUE(view_part(inbox + ".0/", 2, report) && view_part(inbox + ".0/", 3, report));
    EXPECT_FALSE(view_part(inbox + ".0/", 4, report));
    EXPECT_EQ(opener.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.HTM"}});
    EXPECT_EQ(viewer.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.TXT"}});
    // The HTML alone, in UTF-8 and marked so.
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.HTM"), "\xEF\xBB\xBF<p>x</p>\n");
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), attached + sj("日本") + "\r\n");
    EXPECT_EQ(report.texts(), names{file_error});
}

// Four mails as they are sent today, filed into the inbox as a receive files them, in this order.
const names todays_mail = {"html_only_newsletter", "html_meta_charset_reply", "alternative_html_calendar",
                           "utf8_beyond_cp932"};

class MailReading : public viewer_test {
protected:
    scoped_time_zone tokyo{"Asia/Tokyo"};

    MailReading() {
        for (std::size_t i = 0; i < todays_mail.size(); ++i)
            write_bytes(dir / ("work/" + std::to_string(i) + ".pop"), read_bytes(test_data + "mail/" + todays_mail[i] + ".eml"));
        EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 4);
    }
};

// The preview (and `quillmere-cli show`) of each: the header block, then the text with every character as
// sent, and the rendition of the HTML where that is all the mail has.
TEST_F(MailReading, TodaysMailReadsAsItsReaderExpects) {
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reading_document(message_dir(i)), read_bytes(test_data + "reading/" + todays_mail[i] + ".txt"))
            << todays_mail[i];
    EXPECT_TRUE(report.shown.empty());
    // The store's CP932 files are what they always were: the characters CP932 lacks are "？" there.
    EXPECT_NE(read_bytes(at(" 受信箱/.3/0")).find("Subject: caf" + q + " " + q + " " + q + q + q + q + q + " " + q + "\r\n"),
              std::string::npos);
    // The list gives the subject and the sender as sent, each only where CP932 lost characters of it.
    write_bytes(dir / "work/4.pop", "From: =?UTF-8?B?Wm/DqyDwn46J?= <z@example.com>\r\nSubject: plain\r\n\r\nx\r\n");
    ASSERT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 1);
    std::map<int, std::pair<std::string, std::string>> as_sent;
    for (const mail_row& row : build_mail_list(inbox, account, ""))
        if (!row.folder) as_sent[row.number] = {row.subject_as_sent, row.party_as_sent};
    EXPECT_EQ(as_sent, (std::map<int, std::pair<std::string, std::string>>{
                           {0, {"🎉 年末セール開始 – Résumé ½", ""}}, {1, {}}, {2, {}},
                           {3, {"café ☕ 안녕하세요 🍣", "김민지"}}, {4, {"", "Zoë 🎉"}}}));
}

// A subject folded over 100,000 lines and a text of one 300 KB line: the preview cuts each after its limit,
// never inside a character, marks how much more there is and comes in lines quick to lay out; what
// `quillmere-cli show` prints keeps everything.
TEST_F(MailReading, ThePreviewOfHostileMailIsCutVisiblyAndNothingIsLost) {
    std::string subject = "start", line;
    for (int i = 0; i < 100000; ++i) subject += " w" + std::to_string(i);
    while (line.size() < 300'000) line += "한국어 ";  // Hangul: given back from "raw"
    std::string folded = subject;
    for (std::size_t at = folded.find(' '); at != std::string::npos; at = folded.find(' ', at + 3)) folded.insert(at, "\r\n");
    write_bytes(dir / "work/5.pop", "From: a@example.com\r\nSubject: " + folded +
                                        "\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + line + "\r\n");
    ASSERT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 1);
    const std::string preview = preview_document(message_dir(4));
    const std::size_t text_start = preview.find("\n\n") + 2, kept = preview_limit / 10 * 10 + 3;  // "한" fits, "국" not
    EXPECT_EQ(preview.substr(0, text_start), "差出人: a@example.com\n件名: " + subject.substr(0, preview_value_limit) +
                                                 cut_mark(subject.size() - preview_value_limit) + "\n\n");
    std::string text = preview.substr(text_start);
    for (std::size_t start = 0, end; start < text.size(); start = end + 1)
        EXPECT_LE((end = std::min(text.find('\n', start), text.size())) - start, preview_line_limit);
    std::erase(text, '\n');  // the pieces' breaks
    EXPECT_EQ(text, line.substr(0, kept) + cut_mark(line.size() + 1 - kept));
    EXPECT_NE(reading_document(message_dir(4)).find(" w99999\n\n" + line + "\n"), std::string::npos);
    // Pieces end after a blank in their second half, else at the end of a character.
    EXPECT_EQ(in_short_lines("aaaa bbbbbb\nab cdefghijk", 8, true), "aaaa \nbbbbbb\nab cdefg\nhijk");
    EXPECT_EQ(in_short_lines(sj("日本語"), 5, false), sj("日本\n語"));
    EXPECT_EQ(in_short_lines("日本語", 5, true), "日\n本\n語");
}

// Text that only the rendition of an HTML-only mail holds is found by the search (the texts as sent are met
// through quillmere-cli list).
TEST_F(MailReading, TheSearchFindsTheRenditionOfHtml) {
    for (const mail_row& r : build_mail_list(inbox, account, sj("ポイント2倍"))) EXPECT_EQ(r.search_match, r.number == 0) << r.number;
}

// The viewer's copy: byte for byte the stored CP932 where that shows everything; in UTF-8 (marked as
// such) with the characters as sent or the rendition of the HTML otherwise; never a line of megabytes.
TEST_F(MailReading, TheViewerGetsEveryCharacterAndNoEndlessLine) {
    write_bytes(dir / "quillmere.ini", "[string]\r\nopen header=From,Subject\r\n");
    // (Every character of a text mail as sent is met through quillmere-cli show.)
    ASSERT_TRUE(open_message(inbox, account, 0, false, report).ok);
    ASSERT_EQ(viewer.wait_for_runs(1).size(), 1u);
    const std::string html_copy = read_bytes(dir / "tmp/qlm_0000.TXT");
    EXPECT_TRUE(html_copy.starts_with("\xEF\xBB\xBF"));
    EXPECT_NE(html_copy.find("Subject: 🎉 年末セール開始 – Résumé ½\r\n"), std::string::npos);
    EXPECT_NE(html_copy.find("\r\n\r\nショップ通信 <https://shop.example/?utm=nl>\r\n"), std::string::npos);

    const std::string long_line(5'000'000, 'x');
    message(" 受信箱/", 7, 'R', {"Subject: long\r\n", "\r\n" + long_line + "\r\n"});
    ASSERT_TRUE(open_message(inbox, account, 7, false, report).ok);
    ASSERT_EQ(viewer.wait_for_runs(2).size(), 2u);
    const std::string long_copy = read_bytes(dir / "tmp/qlm_0001.TXT");
    EXPECT_EQ(long_copy.size(), std::string("Subject: long\r\n\r\n\r\n").size() + long_line.size() + (long_line.size() - 1) / 998 * 2 + 2);
    EXPECT_EQ(long_copy.find(std::string(999, 'x')), std::string::npos);
}

// A reply quotes, and a forward carries, the rendition of an HTML-only mail; where the text holds
// characters CP932 lacks, the user is told which ones became "？".
TEST_F(MailReading, RepliesAndForwardsTakeTheTextAReaderSees) {
    std::filesystem::remove_all(dir / "work");
    compose_context ctx{dir.cp(), account, dir.cp("work/"), {}};
    ctx.account.address = "hanako@example.jp";
    ASSERT_EQ(create_reply(ctx, message_dir(2), "", false, "Re: x", true, "", report, false), 0);
    const std::string quoted = read_bytes(at(" 送信箱/草稿/.0/1"));
    EXPECT_NE(quoted.find(stored("> 年末の振り返り会を開きます。") + sj("？ と ？ を用意します。")), std::string::npos) << u8(quoted);
    EXPECT_EQ(report.texts(), names{"元のメールの次の文字はShift_JISにないため、「？」に置き換えました:\n    U+2615 U+1F370 U+2013"});
    report.shown.clear();
    ASSERT_EQ(create_forward(ctx, message_dir(1), "b@example.com", report, false), 1);
    EXPECT_NE(read_bytes(at(" 送信箱/草稿/.1/1")).find(stored("お世話になっております。佐藤です。\n資料を拝見しました。")), std::string::npos);
    EXPECT_TRUE(report.shown.empty());
    // The subject that "Fwd: " takes counts too.
    ASSERT_EQ(create_forward(ctx, message_dir(3), "b@example.com", report, false), 2);
    EXPECT_EQ(report.texts(), names{"元のメールの次の文字はShift_JISにないため、「？」に置き換えました:\n   "
                                    " U+BBFC U+C9C0 U+00E9 U+2615 U+1F363 U+00EB U+00C5 U+00F6 U+C548 U+B155 U+D558"
                                    " U+C138 U+C694 U+03AC U+AE40"});
}

}  // namespace
}  // namespace qm::test
