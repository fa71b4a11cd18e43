#include "http/transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "standin/certificate.h"
#include "support/raw_http_server.h"
#include "support/test_http_server.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

using test::RawHttpServer;
using test::TestHttpServer;
using namespace std::chrono_literals;

// The routes the transport tests read, on a plain or TLS server.
class LibServer {
 public:
  explicit LibServer(bool tls = false)
      : server_(tls ? TestHttpServer::Scheme::kHttps : TestHttpServer::Scheme::kHttp) {
    httplib::Server& routes = server_.Routes();
    routes.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("hello", "text/plain");
    });
    routes.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/final");
      res.set_content("redirect body", "text/plain");
    });
    routes.Get("/final", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Final", "yes");
      res.set_content("final body", "text/plain");
    });
    routes.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(100000, 'x'), "application/octet-stream");
    });
    routes.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    EXPECT_TRUE(server_.Start()) << "the test server did not start";
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }

 private:
  TestHttpServer server_;
};

std::string HostLine(const RawHttpServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
}

TEST(TransportWire, SendsExactlyTheGivenLinesAndNothingOfCurlsOwn) {
  struct Case {
    const char* name;
    TransportRequest request;
    std::string expected;  // with {HOST} for the Host line
  };
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 200 OK", "", "ok"));
  std::string host = HostLine(server);
  std::vector<Case> cases = {
      {"bare GET",
       {.url = server.Url("/p?q=1&r=%41"), .headerLines = {"a-b: 1", "X-Empty:", "C: x\r\nD: y"}},
       "GET /p?q=1&r=%41 HTTP/1.1\r\n" + host + "a-b: 1\r\nX-Empty:\r\nC: x\r\nD: y\r\n\r\n"},
      {"POST without a content type of the caller gets none",
       {.method = "POST", .url = server.Url("/"), .body = "a=1"},
       "POST / HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\na=1"},
      {"POST with the caller's content type and accept",
       {.method = "POST",
        .url = server.Url("/"),
        .headerLines = {"Accept: */*", "Content-Type: text/plain"},
        .body = "xyz"},
       "POST / HTTP/1.1\r\n" + host +
           "Accept: */*\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\nxyz"},
      {"empty POST",
       {.method = "POST", .url = server.Url("/")},
       "POST / HTTP/1.1\r\n" + host + "Content-Length: 0\r\n\r\n"},
      {"HEAD",
       {.method = "HEAD", .url = server.Url("/h"), .body = "ignored"},
       "HEAD /h HTTP/1.1\r\n" + host + "\r\n"},
      {"PUT with a body",
       {.method = "PUT", .url = server.Url("/"), .body = "b"},
       "PUT / HTTP/1.1\r\n" + host + "Content-Length: 1\r\n\r\nb"},
      {"DELETE",
       {.method = "DELETE", .url = server.Url("/d")},
       "DELETE /d HTTP/1.1\r\n" + host + "\r\n"},
      {"Basic credentials",
       {.url = server.Url("/"), .user = "u", .password = "p"},
       "GET / HTTP/1.1\r\n" + host + "Authorization: Basic dTpw\r\n\r\n"},
      {"no path",
       {.url = "http://127.0.0.1:" + std::to_string(server.Port())},
       "GET / HTTP/1.1\r\n" + host + "\r\n"},
  };
  std::size_t count = 0;
  for (const Case& c : cases) {
    TransportResult result = Exchange(c.request);
    EXPECT_EQ(result.error, TransportError::None) << c.name << ": " << result.errorDetail;
    EXPECT_EQ(server.WaitForRequest(++count), c.expected) << c.name;
  }
}

TEST(TransportWire, NamedProxyGetsTheFullAddressAndItsCredentials) {
  RawHttpServer proxy(RawHttpServer::Answer("HTTP/1.1 200 OK", "", "via proxy"));
  TransportResult result = Exchange({.url = "http://sucaigang.invalid/x?y",
                                     .headerLines = {"User-Agent: t"},
                                     .proxy = "127.0.0.1:" + std::to_string(proxy.Port()),
                                     .proxyUser = "u",
                                     .proxyPassword = "p"});
  EXPECT_EQ(result.error, TransportError::None) << result.errorDetail;
  EXPECT_EQ(result.body, "via proxy");
  EXPECT_EQ(proxy.WaitForRequest(),
            "GET http://sucaigang.invalid/x?y HTTP/1.1\r\nHost: sucaigang.invalid\r\n"
            "Proxy-Authorization: Basic dTpw\r\nUser-Agent: t\r\n\r\n");
}

TEST(TransportAnswer, GivesStatusHeadAndBodyOfTheAnswer) {
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 404 Not Found",
                                             "Set-Cookie: a=1\r\nX-Two: 2\r\n", "missing"));
  int heads = 0;
  TransportResult result = Exchange({.url = server.Url("/"), .onHead = [&](const TransportHead& h) {
                                       ++heads;
                                       EXPECT_EQ(h.status, 404);
                                       return true;
                                     }});
  EXPECT_EQ(result.error, TransportError::None);
  EXPECT_TRUE(result.headReceived);
  EXPECT_EQ(heads, 1);
  EXPECT_EQ(result.head.status, 404);
  EXPECT_EQ(result.head.statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(result.head.headerBlock,
            "Set-Cookie: a=1\r\nX-Two: 2\r\nContent-Length: 7\r\nConnection: close\r\n");
  EXPECT_EQ(result.head.contentLength, 7);
  EXPECT_EQ(result.body, "missing");
  EXPECT_EQ(result.bodyBytes, 7);
}

TEST(TransportAnswer, RedirectsFollowedGiveOnlyTheFinalAnswer) {
  LibServer server;
  std::string headSeen;
  TransportResult followed =
      Exchange({.url = server.Url("/redirect"), .onHead = [&](const TransportHead& h) {
                  headSeen = h.statusLine;
                  return true;
                }});
  EXPECT_EQ(followed.error, TransportError::None);
  EXPECT_EQ(headSeen, "HTTP/1.1 200 OK");
  EXPECT_EQ(followed.head.status, 200);
  EXPECT_EQ(followed.body, "final body");
  EXPECT_NE(followed.head.headerBlock.find("X-Final: yes\r\n"), std::string::npos);
  EXPECT_EQ(followed.head.headerBlock.find("Location"), std::string::npos);

  TransportResult kept = Exchange({.url = server.Url("/redirect"), .followRedirects = false});
  EXPECT_EQ(kept.head.status, 302);
  EXPECT_EQ(kept.body, "redirect body");
  EXPECT_NE(kept.head.headerBlock.find("Location: /final\r\n"), std::string::npos);
}

TEST(TransportAnswer, HeadIsHandedOverAlsoWithoutBody) {
  LibServer server;
  for (std::string method : {"GET", "HEAD"}) {
    int heads = 0;
    TransportResult result =
        Exchange({.method = method,
                  .url = server.Url(method == "GET" ? "/empty" : "/hello"),
                  .onHead = [&](const TransportHead&) { return ++heads > 0; }});
    EXPECT_EQ(result.error, TransportError::None) << method;
    EXPECT_EQ(heads, 1) << method;
    EXPECT_TRUE(result.body.empty()) << method;
  }
}

TEST(TransportAnswer, BodyLimitStopsTheReadAndKeepsWhatFits) {
  LibServer server;
  TransportResult result = Exchange({.url = server.Url("/big"), .maxBodyBytes = 1000});
  EXPECT_EQ(result.error, TransportError::TooLarge);
  EXPECT_TRUE(result.headReceived);
  EXPECT_EQ(result.head.status, 200);
  EXPECT_EQ(result.body, std::string(1000, 'x'));
}

TEST(TransportAnswer, StreamsTheBodyAndStopsWhenTheCallerSaysSo) {
  LibServer server;
  std::string streamed;
  bool headFirst = false;
  bool sawHead = false;
  TransportResult all = Exchange({.url = server.Url("/big"),
                                  .onHead = [&](const TransportHead&) { return sawHead = true; },
                                  .onBody =
                                      [&](const char* data, std::size_t size) {
                                        if (streamed.empty()) headFirst = sawHead;
                                        streamed.append(data, size);
                                        return true;
                                      }});
  EXPECT_EQ(all.error, TransportError::None);
  EXPECT_TRUE(headFirst);
  EXPECT_EQ(streamed.size(), 100000u);
  EXPECT_TRUE(all.body.empty());
  EXPECT_EQ(all.bodyBytes, 100000);

  TransportResult stopped = Exchange(
      {.url = server.Url("/big"), .onBody = [](const char*, std::size_t) { return false; }});
  EXPECT_EQ(stopped.error, TransportError::Aborted);

  TransportResult refusedHead =
      Exchange({.url = server.Url("/hello"), .onHead = [](const TransportHead&) { return false; }});
  EXPECT_EQ(refusedHead.error, TransportError::Aborted);
}

TEST(TransportFailure, MapsFailuresOntoTheirKinds) {
  int refusedPort = 0;
  {
    RawHttpServer closed;  // its port is free again once it is gone
    refusedPort = closed.Port();
  }
  EXPECT_EQ(Exchange({.url = "http://127.0.0.1:" + std::to_string(refusedPort) + "/"}).error,
            TransportError::Connect);
  for (const char* bad : {"ftp://127.0.0.1/", "127.0.0.1/x", "", "http//x"}) {
    EXPECT_EQ(Exchange({.url = bad}).error, TransportError::BadAddress) << bad;
  }
  EXPECT_EQ(Exchange({.url = "http://"}).error, TransportError::BadAddress);
}

TEST(TransportFailure, StallTimeOutEndsAQuietExchangeInTime) {
  RawHttpServer silent(RawHttpServer::Options{.delayBeforeAnswer = 10s});
  auto start = std::chrono::steady_clock::now();
  TransportResult result = Exchange({.url = silent.Url("/"), .stallTimeoutMs = 300});
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.error, TransportError::Timeout);
  EXPECT_FALSE(result.headReceived);
  EXPECT_GE(elapsed, 290ms);
  EXPECT_LT(elapsed, 3s);

  // Head and three body bytes sent, then the body stalls: the head comes back with the failure.
  const std::string answer = RawHttpServer::Answer("HTTP/1.1 200 OK", "", "0123456789");
  RawHttpServer stalling(
      RawHttpServer::Options{.respond = [answer](const std::string&) { return answer; },
                             .split = answer.find("\r\n\r\n") + 4 + 3,
                             .delayAfterSplit = 10s});
  TransportResult cut = Exchange({.url = stalling.Url("/"), .stallTimeoutMs = 300});
  EXPECT_EQ(cut.error, TransportError::Timeout);
  EXPECT_TRUE(cut.headReceived);
  EXPECT_EQ(cut.head.status, 200);
  EXPECT_EQ(cut.body, "012");
}

TEST(TransportFailure, KeepGoingIsAskedWhileWaitingAndCanStop) {
  RawHttpServer silent(RawHttpServer::Options{.delayBeforeAnswer = 10s});
  int calls = 0;
  auto start = std::chrono::steady_clock::now();
  TransportResult result = Exchange({.url = silent.Url("/"), .keepGoing = [&] {
                                       ++calls;
                                       return std::chrono::steady_clock::now() - start < 300ms;
                                     }});
  EXPECT_EQ(result.error, TransportError::Aborted);
  EXPECT_GE(calls, 4);  // at least every 50 ms while nothing moves
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(TransportTls, SelfSignedCertificateAcceptedUnlessVerified) {
  LibServer server(/*tls=*/true);
  TransportResult relaxed = Exchange({.url = server.Url("/hello")});
  EXPECT_EQ(relaxed.error, TransportError::None) << relaxed.errorDetail;
  EXPECT_EQ(relaxed.body, "hello");

  TransportResult strict = Exchange({.url = server.Url("/hello"), .verifyPeer = true});
  EXPECT_EQ(strict.error, TransportError::Tls);

  TransportResult trusted =
      Exchange({.url = server.Url("/hello"),
                .verifyPeer = true,
                .extraCaFile = standin::SelfSignedCertificate().certificateFile});
  EXPECT_EQ(trusted.error, TransportError::None) << trusted.errorDetail;
  EXPECT_EQ(trusted.body, "hello");
}

TEST(TransportUrlText, EncodesTheRestOfAGbkAddressAsUtf8) {
  EXPECT_EQ(TransportUrl("http://h:1/中 文/a?q=素材#f"_gbk),
            "http://h:1/%E4%B8%AD%20%E6%96%87/a?q=%E7%B4%A0%E6%9D%90#f");
  EXPECT_EQ(TransportUrl("https://h"), "https://h");
  EXPECT_EQ(TransportUrl("http://h/a%20b?x=1&y"), "http://h/a%20b?x=1&y");
  EXPECT_EQ(TransportUrl("http://u:p@h:1/a@b"), "http://h:1/a@b");
}

}  // namespace
}  // namespace sucaigang
