// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP fetch: the response parser fed in pieces, the status check with
// its texts, the URL, and whole fetches from Python's HTTP server.
#include <gtest/gtest.h>

#include <string>

#include "net/http_fetch.h"
#include "net/http_response.h"
#include "support/http_test_server.h"
#include "support/open_descriptors.h"

namespace nyra {
namespace {

using State = HttpResponseParser::State;
using testing::HttpTestServer;

// Feeds the response one byte at a time, as the slowest network would.
HttpResponseParser byteByByte(const std::string& response, std::size_t maxBody = 1024) {
    HttpResponseParser parser(maxBody);
    for (char c : response) {
        if (parser.feed(std::string_view(&c, 1)) != State::Head && parser.state() != State::Body)
            break;
    }
    return parser;
}

TEST(HttpResponseParser, ReadsEachFramingWhateverThePieces) {
    const std::string length = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nX: y\r\n\r\nabcEXTRA";
    auto parser = byteByByte(length);
    EXPECT_EQ(parser.state(), State::Done);
    EXPECT_EQ(parser.status(), 200u);
    EXPECT_EQ(parser.body(), "abc");

    const std::string chunked =
        "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n"
        "2;ext=1\r\nab\r\nA\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n";
    parser = byteByByte(chunked);
    EXPECT_EQ(parser.state(), State::Done);
    EXPECT_EQ(parser.body(), "ab0123456789");

    HttpResponseParser whole(1024);
    EXPECT_EQ(whole.feed(chunked), State::Done);
    EXPECT_EQ(whole.body(), "ab0123456789");

    // No length: the body runs to the close, and only the close completes it.
    HttpResponseParser untilClose(1024);
    EXPECT_EQ(untilClose.feed("HTTP/1.0 200 OK\r\n\r\nxy"), State::Body);
    EXPECT_EQ(untilClose.feed("z"), State::Body);
    EXPECT_EQ(untilClose.finish(), State::Done);
    EXPECT_EQ(untilClose.body(), "xyz");
}

TEST(HttpResponseParser, KeepsOnlyTheBytesAskedFor) {
    HttpResponseParser parser(2);
    EXPECT_EQ(parser.feed("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n\x21\x22rest"),
              State::Done);
    EXPECT_EQ(parser.body(), "\x21\x22");

    // The same for a chunked body cut inside its first chunk.
    HttpResponseParser chunked(2);
    EXPECT_EQ(chunked.feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n\x21\x22"),
              State::Done);
    EXPECT_EQ(chunked.body(), "\x21\x22");

    // A status without a body is complete at the end of its head.
    HttpResponseParser noContent(2);
    EXPECT_EQ(noContent.feed("HTTP/1.1 204 No Content\r\n\r\n"), State::Done);
    EXPECT_EQ(noContent.status(), 204u);
    EXPECT_EQ(noContent.body(), "");
}

TEST(HttpResponseParser, RefusesWhatIsNotAnHttpResponse) {
    for (const std::string& bad : {
             std::string("HTTP/2 200 OK\r\n\r\n"),
             std::string("HTTP/1.1 2x0 OK\r\n\r\n"),
             std::string("HTTP/1.1 2000 OK\r\n\r\n"),
             std::string("HTTP/1.1 200 OK\r\nno colon here\r\n\r\n"),
             std::string("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n"),
             std::string("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n"),
             std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n"),
             std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n"),
             std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"),
             std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nabc\r\n"),
         }) {
        HttpResponseParser parser(1024);
        parser.feed(bad);
        EXPECT_EQ(parser.finish(), State::Bad) << bad;
    }

    // A head that never ends is refused once it passes the limit.
    HttpResponseParser endless(1024);
    endless.feed("HTTP/1.1 200 OK\r\n");
    const std::string header = "X-Filler: " + std::string(1000, 'x') + "\r\n";
    State state = State::Head;
    for (int i = 0; i < 100 && state == State::Head; ++i)
        state = endless.feed(header);
    EXPECT_EQ(state, State::Bad);

    // Cut short: a length or chunked body that the close ends early.
    HttpResponseParser cut(1024);
    cut.feed("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab");
    EXPECT_EQ(cut.finish(), State::Bad);
    HttpResponseParser headOnly(1024);
    headOnly.feed("HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(headOnly.finish(), State::Bad);
}

TEST(HttpStatus, EachRefusedCodeHasItsText) {
    const struct {
        unsigned status;
        const char* text;
    } cases[] = {
        {199, "未知错误:#199"},
        {600, "未知错误:#600"},
        {0, "未知错误:#0"},
        {300, "信息代码:#300"},
        {302, "信息代码:#302"},
        {400, "请求无法解析:#400"},
        {404, "请求地址不存在:#404"},
        {405, "服务器不支持:#405"},
        {403, "请求错误:#403"},
        {401, "请求错误:#401"},
        {500, "未知服务器错误:#500"},
        {503, "服务器容量不足:#503"},
        {502, "服务器错误:#502"},
        {598, "服务器错误:#598"},
        {299, ""},
        {399, ""},
        {499, ""},
        {599, ""},
    };
    for (const auto& c : cases) {
        const auto text = refusedStatusText(c.status, kAccept2xx);
        ASSERT_TRUE(text.has_value()) << c.status;
        EXPECT_EQ(*text, c.text) << c.status;
    }
    // 2xx codes outside an accepted class have a text of their own.
    EXPECT_EQ(refusedStatusText(200, kAccept3xx), "获取成功:#200");
    EXPECT_EQ(refusedStatusText(298, 0), "获取成功:#298");
}

TEST(HttpStatus, AcceptedClassesCoverTheirCodesAndNoMore) {
    EXPECT_FALSE(refusedStatusText(200, kAccept2xx));
    EXPECT_FALSE(refusedStatusText(298, kAccept2xx));
    EXPECT_FALSE(refusedStatusText(301, kAccept3xx));
    EXPECT_FALSE(refusedStatusText(398, kAccept3xx));
    EXPECT_FALSE(refusedStatusText(401, kAccept4xx));
    EXPECT_FALSE(refusedStatusText(498, kAccept4xx));
    EXPECT_FALSE(refusedStatusText(501, kAccept5xx));
    EXPECT_FALSE(refusedStatusText(598, kAccept5xx));
    EXPECT_FALSE(refusedStatusText(404, kAccept2xx | kAccept4xx));
    // The first code of 3xx..5xx and the last of each class open nothing.
    for (unsigned status : {300u, 400u, 500u, 299u, 399u, 499u, 599u})
        EXPECT_TRUE(refusedStatusText(status, kAccept2xx | kAccept3xx | kAccept4xx | kAccept5xx))
            << status;
    EXPECT_TRUE(refusedStatusText(404, kAccept2xx | kAccept3xx | kAccept5xx));
}

TEST(HttpUrl, TakesHostPortAndPathAndRefusesTheRest) {
    const auto url = parseHttpUrl("http://www.example.com/updata/KVQ_Pro_CV_Info.pdf");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "www.example.com");
    EXPECT_EQ(url->port, 80);
    EXPECT_EQ(url->path, "/updata/KVQ_Pro_CV_Info.pdf");

    const auto local = parseHttpUrl("http://127.0.0.1:8080");
    ASSERT_TRUE(local);
    EXPECT_EQ(local->host, "127.0.0.1");
    EXPECT_EQ(local->port, 8080);
    EXPECT_EQ(local->path, "/");

    for (const char* bad :
         {"https://example.com/", "example.com/x", "http://", "http://:80/", "http://h:0/",
          "http://h:65536/", "http://h:8x/", "http://u@h/", "http://h/a b", "http://h/a\r\nX: y"})
        EXPECT_FALSE(parseHttpUrl(bad)) << bad;
}

class HttpFetchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.running()) << server.error(); }

    HttpFetchResult fetch(const std::string& answer, unsigned accepted = kAccept2xx,
                          std::size_t maxBody = 2) {
        HttpFetchOptions options;
        options.acceptedClasses = accepted;
        options.maxBody = maxBody;
        options.timeout = std::chrono::milliseconds(5000);
        return httpFetch(server.url(answer), options);
    }

    HttpTestServer server;
};

TEST_F(HttpFetchTest, GetsTheFirstBytesOfTheDocument) {
    auto result = fetch("s200/2122ff/updata/KVQ_Pro_CV_Info.pdf");
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.status, 200u);
    EXPECT_EQ(result.body, "\x21\x22");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /s200/2122ff/updata/KVQ_Pro_CV_Info.pdf HTTP/1.1|" +
                                        server.url("").substr(7, server.url("").size() - 8));

    // Raw bytes, zero bytes too, through each framing.
    result = fetch("chunked/0022", kAccept2xx, 16);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.body, std::string("\x00\x22", 2));
    result = fetch("close/0d0a1a", kAccept2xx, 16);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.body, "\r\n\x1a");
}

TEST_F(HttpFetchTest, RefusedStatusesGiveTheirTexts) {
    for (const auto& [answer, text] :
         {std::pair<std::string, std::string>{"s404", "请求地址不存在:#404"},
          {"s500", "未知服务器错误:#500"},
          {"s503", "服务器容量不足:#503"},
          {"s299/2122", ""}}) {
        const auto result = fetch(answer);
        EXPECT_FALSE(result.ok) << answer;
        EXPECT_EQ(result.message, text) << answer;
        EXPECT_TRUE(result.body.empty()) << answer;
    }
    // Without a status check every answer is taken.
    const auto any = fetch("s404/2122", 0);
    EXPECT_TRUE(any.ok);
    EXPECT_EQ(any.status, 404u);
}

TEST_F(HttpFetchTest, EveryEndingLetsGoOfItsSocket) {
    fetch("s200/2122");  // the first fetch may open descriptors that stay (resolver)
    const int before = openDescriptorCount();
    for (const char* answer : {"s200/2122", "s404", "chunked/21", "close/2122", "nothing"})
        fetch(answer);
    HttpFetchOptions options;
    options.timeout = std::chrono::milliseconds(200);
    httpFetch(server.url("silent"), options);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(HttpFetchTest, NoServerOrASilentOneFailsWithAReason) {
    HttpFetchOptions options;
    options.acceptedClasses = kAccept2xx;
    options.timeout = std::chrono::milliseconds(300);
    const auto silent = httpFetch(server.url("silent"), options);
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.message, "The operation timed out.");

    const std::string gone = server.url("s200/2122");
    server.stop();
    const auto refused = httpFetch(gone, options);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message.rfind("A connection with the server could not be established", 0), 0u)
        << refused.message;
    EXPECT_LE(refused.message.size(), 100u);

    const auto badUrl = httpFetch("ftp://127.0.0.1/", options);
    EXPECT_FALSE(badUrl.ok);
    EXPECT_EQ(badUrl.message, "The URL is invalid.");
}

}  // namespace
}  // namespace nyra
