// The pieces of an OAuth 2.0 login that need no provider: PKCE, the token
// endpoint's answers, the redirect, and the SASL exchanges against scripted
// servers for the replies a real server gives only when something is wrong.

#include "net/bearer_login.h"
#include "net/oauth2_browser_step.h"
#include "net/oauth2_tokens.h"
#include "net/pkce.h"
#include "net/pop3_client.h"
#include "net/smtp_client.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "text/base64.h"

namespace qm::test {
namespace {

TEST(OAuth2Request, PkceAndTheAddressTheBrowserOpens) {
    // RFC 7636, appendix B.
    EXPECT_EQ(pkce_challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const std::string verifier = pkce_verifier();
    EXPECT_EQ(verifier.size(), 43u);
    EXPECT_EQ(verifier.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_NE(verifier, pkce_verifier());
    const oauth2_registration registration{.authorize_url = "https://id.example/auth?hd=example.com", .token_url = "",
                                           .client_id = "app 1", .client_secret = "",
                                           .scope = "https://mail.example/ offline_access"};
    EXPECT_EQ(authorization_address(registration, "http://127.0.0.1:5000/", "s~1", "c-2"),
              "https://id.example/auth?hd=example.com&response_type=code&client_id=app%201&redirect_uri=http%3A%2F%2F"
              "127.0.0.1%3A5000%2F&scope=https%3A%2F%2Fmail.example%2F%20offline_access&state=s~1&code_challenge=c-2"
              "&code_challenge_method=S256");
}

TEST(OAuth2Request, TheRedirectsQueryIsDecoded) {
    redirect_query query = read_redirect_query("GET /?state=a%2Bb&code=4%2F0A+x&scope=mail HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(query.is_request);
    EXPECT_EQ(query.code, "4/0A x");
    EXPECT_EQ(query.state, "a+b");
    query = read_redirect_query("GET /?error=access_denied&error_description=no%20thanks&state=s HTTP/1.1\r\n\r\n");
    EXPECT_EQ(query.error + "|" + query.error_description + "|" + query.code, "access_denied|no thanks|");
    EXPECT_FALSE(read_redirect_query("POST / HTTP/1.1\r\n\r\n").is_request);
    EXPECT_TRUE(read_redirect_query("GET /favicon.ico HTTP/1.1\r\n\r\n").state.empty());
}

TEST(OAuth2TokenAnswer, TokensARefusedGrantAndOtherFailures) {
    oauth2_tokens tokens;
    std::string detail;
    EXPECT_EQ(read_token_answer(200, R"({"access_token":"ya29.a","expires_in":3599,"refresh_token":"1//r","token_type":"Bearer"})",
                                tokens, detail), net_result::ok);
    EXPECT_EQ(tokens.access_token + " " + tokens.refresh_token + " " + std::to_string(tokens.expires_in), "ya29.a 1//r 3599");
    oauth2_tokens kept;
    EXPECT_EQ(read_token_answer(200, R"({"access_token":"b"})", kept, detail), net_result::ok);
    EXPECT_EQ(kept.refresh_token, "");
    // Expired or revoked: only the browser helps, and it is said why.
    EXPECT_EQ(read_token_answer(400, R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})",
                                kept, detail), net_result::authorization_needed);
    EXPECT_EQ(detail, "invalid_grant: Token has been expired or revoked.");
    EXPECT_EQ(read_token_answer(401, R"({"error":"invalid_client"})", kept, detail), net_result::authorization_failed);
    EXPECT_EQ(detail, "invalid_client");
    EXPECT_EQ(read_token_answer(502, "<html>Bad Gateway</html>", kept, detail), net_result::authorization_failed);
    EXPECT_EQ(detail, "HTTP 502");
    EXPECT_EQ(read_token_answer(200, R"({"access_token":42})", kept, detail), net_result::authorization_failed);
    function_job job([&](thread& self) {
        // Refused before anything is sent: a secret never goes out in the clear.
        oauth2_registration registration;
        registration.token_url = "http://127.0.0.1:1/token";
        return refresh_access_token(self, registration, "1//r", kept, detail);
    });
    job.start();
    EXPECT_EQ(job.close_handle(), net_result::authorization_failed);
    EXPECT_EQ(detail, "not an https address: http://127.0.0.1:1/token");
}

TEST(SaslBearer, FirstMessagesMechanismChoiceAndErrorTexts) {
    EXPECT_EQ(bearer_first_message(bearer_mechanism::xoauth2, "a@b.jp", "pop.b.jp", 995, "tok"),
              "user=a@b.jp\x01" "auth=Bearer tok\x01\x01");
    EXPECT_EQ(bearer_first_message(bearer_mechanism::oauthbearer, "x,y=z", "smtp.b.jp", 587, "tok"),
              "n,a=x=2Cy=3Dz,\x01host=smtp.b.jp\x01port=587\x01" "auth=Bearer tok\x01\x01");
    EXPECT_EQ(choose_bearer_mechanism("PLAIN XOAUTH2 OAUTHBEARER"), bearer_mechanism::oauthbearer);
    EXPECT_EQ(choose_bearer_mechanism("plain xoauth2"), bearer_mechanism::xoauth2);
    EXPECT_EQ(choose_bearer_mechanism("PLAIN XOAUTH2X"), bearer_mechanism::none);
    EXPECT_EQ(bearer_error_text(base64_encode_text(R"({"status":"invalid_token","schemes":"bearer","scope":"mail"})")),
              "status invalid_token, scope mail, schemes bearer");
    EXPECT_EQ(bearer_error_text(base64_encode_text("no json\x1b[2J")), "no json [2J");
}

const std::string token(900, 't');  // longer than any command line
std::string first(bearer_mechanism mechanism, int port) {
    return base64_encode_text(bearer_first_message(mechanism, "alice", "127.0.0.1", port, token));
}

// Logs in with `bearer` against the script (POP3, or SMTP greeting as "client"), then QUIT; the error detail.
job_outcome bearer_login(script_server& server, bool smtp, const std::string& bearer, std::string& detail) {
    server.close().start();
    job_outcome outcome = run_connected({.port = server.port(), .trace = true}, [&](connection& link, thread& job) {
        const std::string host = bearer == token ? "127.0.0.1" : "";
        const int port = bearer == token ? server.port() : 0;
        net_result code = smtp ? smtp_start_bearer(link, job, "client", "alice", bearer, host, port)
                               : pop_login_bearer(link, job, "alice", bearer, host, port);
        detail = link.error_detail();
        smtp ? smtp_quit(link, job) : pop_quit(link, job);
        return code;
    });
    EXPECT_TRUE(server.played());
    return outcome;
}

TEST(SaslBearer, Pop3SendsTheTokenAfterThePromptAndDecodesTheJsonRefusal) {
    script_server server;
    const std::string refusal = "+ " + base64_encode_text(R"({"status":"invalid_token","scope":"mail"})") + "\r\n";
    server.send("+OK ready\r\n").exchange(
        {{"CAPA", "+OK\r\nUSER\r\nSASL PLAIN OAUTHBEARER XOAUTH2\r\n.\r\n"}, {"AUTH OAUTHBEARER", "+ \r\n"},
         {first(bearer_mechanism::oauthbearer, server.port()), refusal},
         {"AQ==", "-ERR [AUTH] Authentication failed.\r\n"}, {"QUIT", "+OK\r\n"}});
    std::string detail;
    job_outcome outcome = bearer_login(server, false, token, detail);
    EXPECT_EQ(outcome.result, net_result::token_refused);
    EXPECT_EQ(detail, "status invalid_token, scope mail");
    EXPECT_NE(outcome.trace_text().find("C: ****\r\n"), std::string::npos);
    EXPECT_EQ(outcome.trace_text().find("tttt"), std::string::npos);
}

TEST(SaslBearer, ShortTokensGoWithTheCommandAndSmtpTakesXoauth2WhenOnlyThatIsOffered) {
    script_server pop;
    const std::string short_ir = base64_encode_text(bearer_first_message(bearer_mechanism::xoauth2, "alice", "", 0, "t"));
    pop.send("+OK ready\r\n")
        .exchange({{"CAPA", "-ERR unknown\r\n"}, {"AUTH XOAUTH2 " + short_ir, "+OK logged in\r\n"}, {"QUIT", "+OK\r\n"}});
    std::string detail;
    EXPECT_EQ(bearer_login(pop, false, "t", detail).result, net_result::ok);

    script_server smtp;
    const std::string refusal = "334 " + base64_encode_text(R"({"status":"400","schemes":"Bearer"})") + "\r\n";
    smtp.send("220 hi\r\n").exchange(
        {{"EHLO client", "250-hi\r\n250-AUTH PLAIN LOGIN\r\n250 AUTH XOAUTH2\r\n"}, {"AUTH XOAUTH2", "334 \r\n"},
         {first(bearer_mechanism::xoauth2, smtp.port()), refusal}, {"", "535 5.7.8 rejected\r\n"}, {"QUIT", "221 bye\r\n"}});
    EXPECT_EQ(bearer_login(smtp, true, token, detail).result, net_result::token_refused);
    EXPECT_EQ(detail, "status 400, schemes Bearer");
}

}  // namespace
}  // namespace qm::test
