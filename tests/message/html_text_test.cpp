#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "message/html_text.h"
#include "message/message_fixture.h"

namespace qm::test {
namespace {

const std::string html_data = test_data + "html/";

// Each "NAME.html" in tests/data/html reads as the text in "NAME.txt": a newsletter laid out in tables
// with a tracking image, an office program's paragraphs with the charset only in <meta>, a quoted reply
// as one web mailer writes it, EUC-JP named only in <meta>, hidden and preformatted text, and broken HTML.
TEST(HtmlText, RealShapedMailReadsAsItsExpectedText) {
    names cases;
    for (const std::string& file : list_names(html_data))
        if (file.ends_with(".html")) cases.push_back(html_data + file.substr(0, file.size() - 5));
    ASSERT_EQ(cases.size(), 6u);
    for (const std::string& name : cases) EXPECT_EQ(html_text(read_bytes(name + ".html"), ""), read_bytes(name + ".txt")) << name;
}

TEST(HtmlText, TheCharsetComesFromThePartThenMetaThenTheBytes) {
    const std::string meta_sjis = "<meta charset=\"Shift_JIS\"><p>" + sj("日本") + "</p>";
    const std::string utf8 = "<p>日本</p>";
    // The part's own parameter wins, unless nobody knows it.
    const struct { std::string bytes, declared, charset; } cases[] = {
        {meta_sjis, "", "Shift_JIS"}, {meta_sjis, "utf-8", "utf-8"}, {meta_sjis, "x-nobody", "Shift_JIS"},
        {"<meta http-equiv=Content-Type content='text/html; charset=euc-jp'>", "", "euc-jp"}, {utf8, "", "UTF-8"},
        {"<p>" + sj("日本") + "</p>", "", "CP932"}, {"<meta charset=\"bogus\">" + utf8, "", "UTF-8"},
    };
    for (const auto& c : cases) EXPECT_EQ(html_charset(c.bytes, c.declared), c.charset) << c.bytes;
    EXPECT_EQ(html_text(meta_sjis, "") + html_as_utf8(meta_sjis, ""), "日本\n<meta charset=\"Shift_JIS\"><p>日本</p>");
}

TEST(HtmlText, NestingAndSizeNeverCostTheText) {
    const auto repeated = [](std::string_view piece, int times) { std::string text; while (times-- > 0) text += piece; return text; };
    EXPECT_EQ(html_text_of_utf8(repeated("<div><b>", 100000) + "deep"), "deep\n");
    EXPECT_EQ(html_text_of_utf8(repeated("<a href='https://x.example/'>", 20000) + "end"), "end <https://x.example/>\n");
    EXPECT_EQ(html_text_of_utf8(std::string(12'000'000, 'a')).size(), 12'000'001u);
    EXPECT_EQ(html_text_of_utf8("") + html_text_of_utf8(std::string("a\0b", 3)), "a b\n");
}

// Whatever a mail names (images, style sheets, frames, scripts, a DTD, entities, a refresh) is never
// fetched: a listener on a loopback port hears nothing, and a named pipe the mail names as a file is
// never opened (an open would wait for a writer, which the test would see).
TEST(HtmlText, NothingTheMailNamesIsLoaded) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_TRUE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(listener, 8) == 0 &&
                ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    temp_dir dir;
    const std::string web = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", pipe = dir / "named.pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    std::string html = "<!DOCTYPE html SYSTEM \"" + web + "dtd\" [<!ENTITY e SYSTEM \"" + pipe + "\">]>\n"
                       "<?xml-stylesheet href=\"" + web + "xsl\"?><html><head><base href=\"" + web + "\">"
                       "<meta http-equiv=refresh content=\"0;url=" + web + "r\"><link rel=stylesheet href=\"" + web +
                       "css\"><link rel=prefetch href=\"file://" + pipe + "\"><script src=\"" + web + "js\"></script>"
                       "<style>@import url(" + web + "i.css); body{background:url(file://" + pipe + ")}</style></head>"
                       "<body background=\"" + pipe + "\">&e;<img src=\"" + web + "i.png\" srcset=\"" + pipe + " 2x\">"
                       "<iframe src=\"" + web + "f\"></iframe><frameset><frame src=\"" + pipe + "\"></frameset>"
                       "<object data=\"" + web + "o\"></object><embed src=\"" + pipe + "\"><video poster=\"" + web +
                       "p\"></video><svg><image href=\"" + web + "s\"/></svg><p>text</p></body></html>";
    std::atomic<bool> done{false};
    std::string text;
    std::thread render([&] { text = html_text(html, ""); done = true; });
    bool pipe_opened = false;
    for (auto start = std::chrono::steady_clock::now(); !done && std::chrono::steady_clock::now() - start < std::chrono::seconds(20);) {
        // Opening the pipe to write succeeds only while a reader has it open.
        const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        pipe_opened |= writer >= 0;
        if (writer >= 0) ::close(writer);  // lets the reader go on
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    render.join();
    EXPECT_TRUE(!pipe_opened && text.find("text") != std::string::npos) << text;
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "a connection came";
    ::close(listener);
}

}  // namespace
}  // namespace qm::test
