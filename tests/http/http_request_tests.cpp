#include "http/http_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "support/raw_http_server.h"
#include "support/test_http_server.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

using test::RawHttpServer;
using test::TestHttpServer;
using namespace std::chrono_literals;

const std::string kDefaultLines =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: identity\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cache-Control: no-cache\r\n";

// The head a request sent, with the Host line taken out.
std::string SentHead(const RawHttpServer& server, std::size_t count) {
  std::string request = server.WaitForRequest(count);
  std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
  std::size_t at = request.find(host);
  if (at != std::string::npos) request.erase(at, host.size());
  return request;
}

TEST(HttpRequestWire, SendsTheDefaultLinesAndTheCallersAsBuilt) {
  struct Case {
    const char* name;
    HttpRequestArgs args;
    std::string expected;  // the request without its Host line
  };
  const std::string ua =
      "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; "
      "Trident/5.0)\r\n";
  const std::string rest =
      "Accept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: identity\r\n"
      "Accept-Language: zh-cn\r\n";
  Text cookieText = "a=1; b=2";
  Text cookieLine = "cookie: x=9";
  std::vector<Case> cases = {
      {"bare GET", {}, "GET /p?q=1 HTTP/1.1\r\n" + kDefaultLines + "\r\n"},
      {"HEAD", {.method = 2}, "HEAD /p?q=1 HTTP/1.1\r\n" + kDefaultLines + "\r\n"},
      {"unknown method codes send GET",
       {.method = 9},
       "GET /p?q=1 HTTP/1.1\r\n" + kDefaultLines + "\r\n"},
      {"negative method code", {.method = -1}, "GET /p?q=1 HTTP/1.1\r\n" + kDefaultLines + "\r\n"},
      {"POST gets the form content type",
       {.method = 1, .postText = "a=1"},
       "POST /p?q=1 HTTP/1.1\r\n" + ua + rest +
           "Content-Type: application/x-www-form-urlencoded\r\nCache-Control: no-cache\r\n"
           "Content-Length: 3\r\n\r\na=1"},
      {"a caller's content type, any case, replaces it",
       {.method = 1, .postText = "t", .extraHeaders = "content-type: text/plain"},
       "POST /p?q=1 HTTP/1.1\r\nContent-Type: text/plain\r\n" + kDefaultLines +
           "Content-Length: 1\r\n\r\nt"},
      {"a GET never gets a content type, even with a body",
       {.postText = "b"},
       "GET /p?q=1 HTTP/1.1\r\n" + kDefaultLines + "Content-Length: 1\r\n\r\nb"},
      {"user-agent: X replaces the default and goes out capitalised",
       {.extraHeaders = "user-agent: X"},
       "GET /p?q=1 HTTP/1.1\r\nUser-Agent: X\r\n" + rest + "Cache-Control: no-cache\r\n\r\n"},
      {"names kept as given without normalising",
       {.extraHeaders = "x-lower: 1", .normaliseHeaderNames = false},
       "GET /p?q=1 HTTP/1.1\r\nx-lower: 1\r\n" + kDefaultLines + "\r\n"},
      {"no default lines",
       {.extraHeaders = "X-A: 1\r\nX-B: 2", .addDefaultHeaders = false},
       "GET /p?q=1 HTTP/1.1\r\nX-A: 1\r\nX-B: 2\r\n\r\n"},
      {"nothing at all", {.addDefaultHeaders = false}, "GET /p?q=1 HTTP/1.1\r\n\r\n"},
      {"cookies become the last line",
       {.cookies = &cookieText},
       "GET /p?q=1 HTTP/1.1\r\n" + kDefaultLines + "Cookie: a=1; b=2\r\n\r\n"},
      {"a cookie text with its own marker goes as it stands",
       {.cookies = &cookieLine, .addDefaultHeaders = false},
       "GET /p?q=1 HTTP/1.1\r\ncookie: x=9\r\n\r\n"},
      {"keep-alive line taken out where it ends in CR LF",
       {.extraHeaders = "Connection: keep-alive\r\nX-A: 1", .addDefaultHeaders = false},
       "GET /p?q=1 HTTP/1.1\r\nX-A: 1\r\n\r\n"},
      {"Basic credentials need both parts",
       {.userName = "u", .addDefaultHeaders = false},
       "GET /p?q=1 HTTP/1.1\r\n\r\n"},
      {"Basic credentials",
       {.userName = "u", .password = "p", .addDefaultHeaders = false},
       "GET /p?q=1 HTTP/1.1\r\nAuthorization: Basic dTpw\r\n\r\n"},
      {"post text ends at its first zero byte",
       {.method = 1, .postText = std::string("ab\0cd", 5), .addDefaultHeaders = false},
       "POST /p?q=1 HTTP/1.1\r\nContent-Length: 2\r\n\r\nab"},
      {"post bytes go out whole and win over the text",
       {.method = 1,
        .postText = "text",
        .addDefaultHeaders = false,
        .postBytes = std::string("\0\x01\xff", 3)},
       "POST /p?q=1 HTTP/1.1\r\nContent-Length: 3\r\n\r\n" + std::string("\0\x01\xff", 3)},
  };
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 200 OK", "", "ok"));
  std::size_t count = 0;
  for (const Case& c : cases) {
    Text status;
    HttpRequestArgs args = c.args;
    args.statusText = &status;
    EXPECT_EQ(HttpRequest(server.Url("/p?q=1"), args), args.method == 2 ? "" : "ok") << c.name;
    EXPECT_EQ(status, "200 OK") << c.name;
    EXPECT_EQ(SentHead(server, ++count), c.expected) << c.name;
  }
}

TEST(HttpRequestWire, AddressIsSentAsPercentEncodedUtf8) {
  RawHttpServer server;
  HttpRequest(server.Url("/素材 港?k=中"_gbk), {.addDefaultHeaders = false});
  EXPECT_EQ(SentHead(server, 1),
            "GET /%E7%B4%A0%E6%9D%90%20%E6%B8%AF?k=%E4%B8%AD HTTP/1.1\r\n\r\n");
}

TEST(HttpRequestWire, NamedProxyCarriesTheRequestAndItsCredentials) {
  RawHttpServer proxy(RawHttpServer::Answer("HTTP/1.1 200 OK", "", "via proxy"));
  EXPECT_EQ(HttpRequest("http://sucaigang.invalid/x",
                        {.proxy = "127.0.0.1:" + std::to_string(proxy.Port()),
                         .proxyUser = "u",
                         .proxyPassword = "p",
                         .addDefaultHeaders = false}),
            "via proxy");
  EXPECT_EQ(proxy.WaitForRequest(),
            "GET http://sucaigang.invalid/x HTTP/1.1\r\nHost: sucaigang.invalid\r\n"
            "Proxy-Authorization: Basic dTpw\r\n\r\n");
}

TEST(HttpRequestAnswer, StatusHeadersCookiesAndLocationOfARedirectNotFollowed) {
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 302 Found",
                                             "Location: /elsewhere\r\n"
                                             "Set-Cookie: a=1; path=/\r\n"
                                             "set-cookie: c=3\r\n"
                                             "Set-Cookie: b=2\r\n",
                                             "moved"));
  Text location, status, headers, cookies, returnedCookies = "old=0; ";
  Bytes body;
  Text result = HttpRequest(server.Url("/"), {.cookies = &cookies,
                                              .returnedCookies = &returnedCookies,
                                              .returnedHeaders = &headers,
                                              .noRedirect = true,
                                              .location = &location,
                                              .statusText = &status,
                                              .body = &body});
  EXPECT_EQ(result, "moved");
  EXPECT_EQ(body, "moved");
  EXPECT_EQ(location, "/elsewhere");
  EXPECT_EQ(status, "302 Found");
  EXPECT_EQ(returnedCookies, "old=0; a=1; b=2");  // appended to, "set-cookie" ignored
  EXPECT_EQ(cookies, "");                         // no merge into an empty cookie text
  EXPECT_EQ(headers,
            "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nSet-Cookie: a=1; path=/\r\n"
            "set-cookie: c=3\r\nSet-Cookie: b=2\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
}

TEST(HttpRequestAnswer, CookiesMergeIntoTheCallersText) {
  RawHttpServer server(RawHttpServer::Answer(
      "HTTP/1.1 200 OK", "Set-Cookie: a=2\r\nSet-Cookie: c=deleted; path=/\r\n", ""));
  Text cookies = "a=1; c=4", returned;
  HttpRequest(server.Url("/"), {.cookies = &cookies, .returnedCookies = &returned});
  EXPECT_EQ(returned, "a=2");
  EXPECT_EQ(cookies, "a=2");
}

// The pages the answer tests read, on a plain or TLS server.
class PageServer {
 public:
  explicit PageServer(bool tls = false)
      : server_(tls ? TestHttpServer::Scheme::kHttps : TestHttpServer::Scheme::kHttp) {
    httplib::Server& routes = server_.Routes();
    routes.Get("/page", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_param_value("body"), "text/html");
    });
    routes.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/page?body=there");
    });
    routes.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
      // Far more than the body limit, made as it is read.
      res.set_content_provider(std::size_t{80} << 20, "application/octet-stream",
                               [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 static const std::string chunk(64 * 1024, 'z');
                                 (void)offset;
                                 return sink.write(chunk.data(), std::min(length, chunk.size()));
                               });
    });
    EXPECT_TRUE(server_.Start()) << "the test server did not start";
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }

 private:
  TestHttpServer server_;
};

TEST(HttpRequestAnswer, RedirectsAreFollowedByDefault) {
  PageServer server;
  Text status;
  EXPECT_EQ(HttpRequest(server.Url("/redirect"), {.statusText = &status}), "there");
  EXPECT_EQ(status, "200 OK");
}

TEST(HttpRequestAnswer, PageCharsetDecidesHowTheBodyIsRead) {
  // Each page is served as raw bytes through a raw server so that nothing re-encodes it.
  struct Case {
    const char* name;
    std::string page;
    Text expected;
  };
  const std::string utf8Text = "\xE7\xB4\xA0\xE6\x9D\x90";  // 素材 in UTF-8
  const Text gbkText = "素材"_gbk;
  std::vector<Case> cases = {
      {"utf-8 page decoded", "<meta charset=\"utf-8\">" + utf8Text,
       "<meta charset=\"utf-8\">" + gbkText},
      {"utf-8 with a byte-order mark",
       "\xEF\xBB\xBF<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">" + utf8Text,
       "<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">" + gbkText},
      {"gb2312 page byte for byte", "<META CHARSET=gb2312>" + gbkText + "\xFF",
       "<META CHARSET=gb2312>" + gbkText + "\xFF"},
      {"GBK in capitals goes through the decoder", "<meta charset=GBK>" + gbkText + "\xFF",
       "<meta charset=GBK>" + gbkText + "?"},
      {"GB2312 in capitals reads as GBK, not the strict GB2312 set",
       "<meta charset=GB2312>\x82\xC7" + gbkText, "<meta charset=GB2312>\x82\xC7" + gbkText},
      {"unknown charset leaves the text", "<meta charset=x-none>\xFF", "<meta charset=x-none>\xFF"},
      {"no meta tag", utf8Text, utf8Text},
      {"decoded text ends at a zero", "<meta charset=utf-8>a" + std::string(1, '\0') + "b",
       "<meta charset=utf-8>a"},
  };
  for (const Case& c : cases) {
    RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 200 OK", "", c.page));
    Bytes body;
    EXPECT_EQ(HttpRequest(server.Url("/"), {.body = &body}), c.expected) << c.name;
    EXPECT_EQ(body, c.page) << c.name;
  }
}

TEST(HttpRequestAnswer, ResultEndsAtTheFirstZeroWhileBodyKeepsEveryByte) {
  const std::string page("abc\0def", 7);
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 200 OK", "", page));
  Bytes body;
  EXPECT_EQ(HttpRequest(server.Url("/"), {.body = &body}), "abc");
  EXPECT_EQ(body, page);
}

TEST(HttpRequestAnswer, SelfSignedHttpsServerIsAccepted) {
  PageServer server(/*tls=*/true);
  Text status;
  EXPECT_EQ(HttpRequest(server.Url("/page?body=secure"), {.statusText = &status}), "secure");
  EXPECT_EQ(status, "200 OK");
}

TEST(HttpRequestFailure, FailuresGiveTheirTextAndAnEmptyResultAndKeepTheOutFields) {
  int refusedPort = 0;
  {
    RawHttpServer gone;
    refusedPort = gone.Port();
  }
  struct Case {
    std::string url;
    Text expected;
  };
  std::vector<Case> cases = {
      {"http://127.0.0.1:" + std::to_string(refusedPort) + "/", "711 发送请求失败!"_gbk},
      {"ftp://127.0.0.1/x", "701 解析URL地址失败!"_gbk},
      {"127.0.0.1/x", "701 解析URL地址失败!"_gbk},
      {"http://", "701 解析URL地址失败!"_gbk},
      {"http://127.0.0.1:99999/", "701 解析URL地址失败!"_gbk},
  };
  for (const Case& c : cases) {
    Text status, headers = "kept", location = "kept";
    Bytes body = "kept";
    EXPECT_EQ(HttpRequest(c.url, {.returnedHeaders = &headers,
                                  .location = &location,
                                  .statusText = &status,
                                  .body = &body}),
              "")
        << c.url;
    EXPECT_EQ(status, c.expected) << c.url;
    EXPECT_EQ(headers, "kept");
    EXPECT_EQ(location, "kept");
    EXPECT_EQ(body, "kept");
  }
  Text status;
  EXPECT_EQ(HttpRequest("http://127.0.0.1:1/", {.extraHeaders = "no colon here",
                                                .statusText = &status,
                                                .normaliseHeaderNames = false}),
            "");
  EXPECT_EQ(status, "710 设置协议头失败!"_gbk);
}

TEST(HttpRequestFailure, TimeoutSecondsBoundTheWaitForAnAnswer) {
  // 2 seconds: a server that stays silent longer ends the call with "712" after about 2 s.
  RawHttpServer silent(RawHttpServer::Options{.delayBeforeAnswer = 10s});
  Text status;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpRequest(silent.Url("/"), {.timeoutSeconds = 2, .statusText = &status}), "");
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(status, "712 服务器未响应!"_gbk);
  EXPECT_GE(elapsed, 1900ms);
  EXPECT_LT(elapsed, 4s);

  // 0 stands for 30 seconds: an answer after 2.5 s still comes in.
  RawHttpServer slow(RawHttpServer::Options{
      .respond =
          [](const std::string&) { return RawHttpServer::Answer("HTTP/1.1 200 OK", "", "late"); },
      .delayBeforeAnswer = 2500ms});
  EXPECT_EQ(HttpRequest(slow.Url("/"), {.timeoutSeconds = 0}), "late");
}

TEST(HttpRequestFailure, BodyPastTheLimitEndsAsAFailedReadWithTheBytesSoFar) {
  PageServer server;
  Text status, headers;
  Bytes body;
  Text result = HttpRequest(server.Url("/endless"),
                            {.returnedHeaders = &headers, .statusText = &status, .body = &body});
  EXPECT_EQ(status, "713 读取数据失败!"_gbk);
  EXPECT_EQ(body.size(), kHttpRequestMaxBody);
  EXPECT_EQ(result.size(), kHttpRequestMaxBody);
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST(HttpRequestPump, HookRunsBetweenStepsAndOnFailureExits) {
  std::atomic<int> calls = 0;
  SetPumpHook([&calls] { ++calls; });
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 200 OK", "A: 1\r\nB: 2\r\n", "ok"));
  HttpRequest(server.Url("/"));
  int afterSuccess = calls;
  // One per header line (status line, A, B, Content-Length, Connection) and one after the
  // charset step at the least.
  EXPECT_GE(afterSuccess, 6);
  HttpRequest("nonsense");
  EXPECT_EQ(calls, afterSuccess + 1);
  SetPumpHook({});
  HttpRequest("nonsense");
  EXPECT_EQ(calls, afterSuccess + 1);
}

}  // namespace
}  // namespace sucaigang
