#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "script/http_object_request.h"
#include "support/raw_http_server.h"
#include "support/test_http_server.h"

namespace sucaigang {
namespace {

using test::RawHttpServer;
using test::TestHttpServer;
using Lines = std::vector<std::string>;

const std::string kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The header lines of a recorded request, without the request line and the empty line.
Lines HeaderLinesOf(const std::string& request) {
  const std::string head = RawHttpServer::HeadOf(request);
  Lines lines;
  std::size_t pos = head.find("\r\n") + 2;
  for (std::size_t end; (end = head.find("\r\n", pos)) != std::string::npos && end > pos;
       pos = end + 2) {
    lines.push_back(head.substr(pos, end - pos));
  }
  return lines;
}

Lines Without(Lines lines, const std::string& prefix) {
  std::erase_if(lines, [&](const std::string& line) { return line.starts_with(prefix); });
  return lines;
}

TEST(Base64EncodeTest, PadsTheLastGroup) {
  struct Case {
    std::string in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"a", "YQ=="},
      {"ab", "YWI="},
      {"abc", "YWJj"},
      {"abcd", "YWJjZA=="},
      {"u:p", "dTpw"},
      {std::string("\0\xff\xfe", 3), "AP/+"},
      {std::string("\0", 1), "AA=="},
  };
  for (const Case& c : cases) EXPECT_EQ(Base64Encode(c.in), c.out) << c.in;
}

TEST(HeaderLineTest, SplitsAtTheFirstColonAndTrims) {
  struct Case {
    const char* line;
    const char* name;
    const char* value;
  } cases[] = {
      {"User-Agent: X", "User-Agent", "X"},
      {"  user-agent  :  X y  ", "user-agent", "X y"},
      {"Host: a:80", "Host", "a:80"},
      {"no colon", "", ""},
      {"", "", ""},
      {": v", "", "v"},
      {"\xA1\xA1Name\xA1\xA1:\xA1\xA1v\xA1\xA1", "Name", "v"},  // full-width spaces
      {"N:\tv\t", "N", "\tv\t"},                                // tabs stay
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HeaderLineName(c.line), c.name) << c.line;
    EXPECT_EQ(HeaderLineValue(c.line), c.value) << c.line;
  }
}

TEST(ObjectRequestBuildTest, TimeoutsPerStage) {
  struct Case {
    int timeoutSeconds;
    long connectMs, stallMs;
  } cases[] = {
      {0, 15000, 15000}, {-5, 15000, 15000}, {3, 3000, 3000}, {1, 1000, 1000}, {-1, 60000, 30000},
  };
  for (const Case& c : cases) {
    const TransportRequest r =
        BuildObjectTransportRequest("http://h/", {.timeoutSeconds = c.timeoutSeconds});
    EXPECT_EQ(r.connectTimeoutMs, c.connectMs) << c.timeoutSeconds;
    EXPECT_EQ(r.stallTimeoutMs, c.stallMs) << c.timeoutSeconds;
  }
}

TEST(ObjectRequestBuildTest, MethodsRedirectsAndCertificates) {
  const char* verbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  for (int m = 0; m < 8; ++m) {
    EXPECT_EQ(BuildObjectTransportRequest("http://h/", {.method = m}).method, verbs[m]);
  }
  EXPECT_EQ(BuildObjectTransportRequest("http://h/", {.method = 8}).method, "GET");
  EXPECT_EQ(BuildObjectTransportRequest("http://h/", {.method = -1}).method, "GET");
  const TransportRequest plain = BuildObjectTransportRequest("https://h/", {});
  EXPECT_TRUE(plain.followRedirects);
  EXPECT_FALSE(plain.verifyPeer);
  EXPECT_EQ(plain.maxBodyBytes, std::size_t{64} << 20);  // an endless answer ends as a failure
  EXPECT_FALSE(BuildObjectTransportRequest("http://h/", {.noRedirect = true}).followRedirects);
}

TEST(ObjectRequestBuildTest, ProxyTextAndCredentials) {
  struct Case {
    const char* url;
    const char* proxy;
    const char* expected;
  } cases[] = {
      {"http://h/", "p:8080", "p:8080"},
      {"https://h/", "p:8080", "p:8080"},
      {"http://h/", "http=p:1", "p:1"},
      {"https://h/", "http=p:1", ""},
      {"https://h/", "http=p:1;https=s:2", "s:2"},
      {"http://h/", "HTTP=p:1 https=s:2", "p:1"},
      {"http://h/", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildObjectTransportRequest(c.url, {.proxy = c.proxy}).proxy, c.expected)
        << c.url << " " << c.proxy;
  }

  // Credentials apply only with a proxy; target 1 also sends the line itself.
  const TransportRequest toProxy = BuildObjectTransportRequest(
      "http://h/", {.proxy = "p:1", .proxyUser = "u", .proxyPassword = "p"});
  EXPECT_EQ(toProxy.proxyUser, "u");
  EXPECT_EQ(toProxy.proxyPassword, "p");
  EXPECT_EQ(toProxy.headerLines.size(), 4u);  // the transport sends the proxy's line
  const TransportRequest toServer = BuildObjectTransportRequest(
      "http://h/", {.proxy = "p:1", .proxyUser = "u", .proxyPassword = "p", .credentialTarget = 0});
  EXPECT_EQ(toServer.user, "u");
  EXPECT_EQ(toServer.password, "p");
  EXPECT_TRUE(toServer.proxyUser.empty());
  EXPECT_TRUE(Without(toServer.headerLines, "Proxy-Authorization") == toServer.headerLines);
  const TransportRequest noProxy =
      BuildObjectTransportRequest("http://h/", {.proxyUser = "u", .proxyPassword = "p"});
  EXPECT_TRUE(noProxy.user.empty());
  EXPECT_TRUE(noProxy.proxyUser.empty());
  EXPECT_EQ(noProxy.headerLines.size(), 4u);
}

TEST(ObjectRequestBuildTest, HeaderLinesAsSet) {
  // Without default lines a single line is set as it stands; an empty one sets nothing.
  EXPECT_EQ(BuildObjectTransportRequest("http://h/",
                                        {.extraHeaders = "x-a: 1", .addDefaultHeaders = false})
                .headerLines,
            Lines{"X-A: 1"});
  EXPECT_TRUE(
      BuildObjectTransportRequest("http://h/", {.addDefaultHeaders = false}).headerLines.empty());
  // Without normalising, names keep their case and lines without a colon are refused.
  EXPECT_EQ(BuildObjectTransportRequest("http://h/", {.extraHeaders = "x-a: 1\r\nbad line\r\n",
                                                      .addDefaultHeaders = false,
                                                      .normaliseHeaderNames = false})
                .headerLines,
            Lines{"x-a: 1"});
  // "Connection: keep-alive" among several lines is left out; a lone line is set as it stands.
  EXPECT_EQ(BuildObjectTransportRequest(
                "http://h/", {.extraHeaders = "Connection: keep-alive", .addDefaultHeaders = false})
                .headerLines,
            Lines{"Connection: keep-alive"});  // a single line skips the test
  EXPECT_EQ(BuildObjectTransportRequest(
                "http://h/", {.extraHeaders = "Connection: keep-alive\r\nConnection: close"})
                .headerLines.front(),
            "Connection: close");
  const Lines normalised =
      BuildObjectTransportRequest("http://h/", {.extraHeaders = "connection: keep-alive\r\nX: 1"})
          .headerLines;
  EXPECT_EQ(Without(normalised, "Connection"), normalised);
  // A later line of one name replaces the earlier one; a line break cannot smuggle a line in.
  EXPECT_EQ(BuildObjectTransportRequest(
                "http://h/", {.extraHeaders = "X-A: 1\r\nx-a: 2\r\nY: a\nEvil: 1\r\nBad Name: 1",
                              .addDefaultHeaders = false})
                .headerLines,
            Lines{"X-A: 2"});
}

TEST(ObjectRequestBuildTest, CookieMarkerIsRemovedInTheCallersVariable) {
  Text cookies = "Cookie: a=1";
  const TransportRequest r = BuildObjectTransportRequest("http://h/", {.cookies = &cookies});
  EXPECT_EQ(cookies, " a=1");
  EXPECT_EQ(r.headerLines.front(), "Cookie:  a=1");
  Text mixed = "cookie:a=1; COOKIE:b=2";
  BuildObjectTransportRequest("http://h/", {.cookies = &mixed});
  EXPECT_EQ(mixed, "a=1; b=2");
  Text plain = "a=1; b=2";
  EXPECT_EQ(BuildObjectTransportRequest("http://h/", {.cookies = &plain}).headerLines.front(),
            "Cookie: a=1; b=2");
}

// Each test owns its recorder; answers close the connection.
class ObjectRequestWireTest : public ::testing::Test {
 protected:
  static std::string Ok(const std::string& headers = "", const std::string& body = "") {
    return RawHttpServer::Answer("HTTP/1.1 200 OK", headers, body);
  }
};

TEST_F(ObjectRequestWireTest, BareGetAndHeadSendTheFourDefaultLines) {
  for (int method : {0, 2}) {
    RawHttpServer server(Ok("", method == 0 ? "body" : ""));
    const std::string url = server.Url("/p?q=1");
    Text headers;
    int status = -1;
    const Bytes body =
        HttpObjectRequest(url, {.method = method, .returnedHeaders = &headers, .status = &status});
    const std::string request = server.WaitForRequest();
    EXPECT_TRUE(
        request.starts_with(method == 0 ? "GET /p?q=1 HTTP/1.1\r\n" : "HEAD /p?q=1 HTTP/1.1\r\n"))
        << request;
    EXPECT_EQ(Without(HeaderLinesOf(request), "Host:"),
              (Lines{"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", kUserAgent}))
        << request;
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, method == 0 ? "body" : "");
    EXPECT_EQ(headers, "Content-Length: " + std::to_string(method == 0 ? 4 : 0) +
                           "\r\nConnection: close\r\n");
  }
}

TEST_F(ObjectRequestWireTest, CallerLinesReplaceDefaultsAndPostGetsContentType) {
  RawHttpServer server(Ok());
  HttpObjectRequest(server.Url(),
                    {.method = 1,
                     .postText = "k=v",
                     .extraHeaders = "user-agent: X\r\nreferer: r\r\nx-REQUESTED-with: y"});
  const std::string request = server.WaitForRequest();
  EXPECT_TRUE(request.starts_with("POST / HTTP/1.1\r\n")) << request;
  EXPECT_TRUE(request.ends_with("\r\n\r\nk=v")) << request;
  EXPECT_EQ(Without(Without(HeaderLinesOf(request), "Host:"), "Content-Length:"),
            (Lines{"User-Agent: X", "Referer: r", "X-REQUESTED-With: y", "Accept: */*",
                   "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded"}))
      << request;
}

TEST_F(ObjectRequestWireTest, BytesBodyWinsAndKeepsZeroBytes) {
  RawHttpServer server(Ok());
  const Bytes bytes("a\0b", 3);
  HttpObjectRequest(server.Url(), {.method = 3, .postText = "text", .postBytes = bytes});
  const std::string request = server.WaitForRequest();
  EXPECT_TRUE(request.starts_with("PUT / HTTP/1.1\r\n")) << request;
  EXPECT_TRUE(request.ends_with("\r\n\r\n" + bytes)) << request;
}

TEST_F(ObjectRequestWireTest, PassedCookiesAreSentAndMerged) {
  const std::string setCookies = "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n";
  {
    RawHttpServer server(Ok(setCookies));
    Text returned = "stale";
    HttpObjectRequest(server.Url(), {.returnedCookies = &returned});
    EXPECT_EQ(returned, "a=1; b=2");
    for (const std::string& line : HeaderLinesOf(server.WaitForRequest())) {
      EXPECT_FALSE(line.starts_with("Cookie")) << line;
    }
  }
  {
    RawHttpServer server(Ok(setCookies));
    Text cookies = "Cookie: b=0; c=3";
    Text returned;
    HttpObjectRequest(server.Url(), {.cookies = &cookies, .returnedCookies = &returned});
    EXPECT_EQ(returned, "a=1; b=2; c=3");
    EXPECT_EQ(cookies, "a=1; b=2; c=3");
    EXPECT_EQ(Without(HeaderLinesOf(server.WaitForRequest()), "Host:").front(),
              "Cookie:  b=0; c=3");
  }
  {
    RawHttpServer server(Ok(setCookies));
    Text cookies = "c=3";
    Text returned;
    HttpObjectRequest(server.Url(),
                      {.cookies = &cookies, .returnedCookies = &returned, .mergeCookies = false});
    EXPECT_EQ(returned, "a=1; b=2");
    EXPECT_EQ(cookies, "c=3");
  }
}

TEST_F(ObjectRequestWireTest, RedirectsFollowedUnlessAsked) {
  RawHttpServer target(Ok("X-Final: yes\r\n", "final"));
  const std::string redirect = RawHttpServer::Answer(
      "HTTP/1.1 302 Found", "Location: " + target.Url("/t") + "\r\n", "moved");
  {
    RawHttpServer server(redirect);
    Text headers;
    int status = 0;
    EXPECT_EQ(HttpObjectRequest(server.Url(), {.returnedHeaders = &headers, .status = &status}),
              "final");
    EXPECT_EQ(status, 200);
    EXPECT_NE(headers.find("X-Final: yes\r\n"), Text::npos) << headers;
    // Referer stays the address the caller gave.
    const Lines lines = HeaderLinesOf(target.WaitForRequest());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Referer: " + server.Url()), lines.end());
  }
  {
    RawHttpServer server(redirect);
    Text headers;
    int status = 0;
    EXPECT_EQ(
        HttpObjectRequest(server.Url(),
                          {.returnedHeaders = &headers, .status = &status, .noRedirect = true}),
        "moved");
    EXPECT_EQ(status, 302);
    EXPECT_NE(headers.find("Location: " + target.Url("/t") + "\r\n"), Text::npos) << headers;
  }
}

TEST_F(ObjectRequestWireTest, ProxyGetsTheRequestWithOneCredentialLine) {
  RawHttpServer proxy(Ok("", "via proxy"));
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
  for (const std::string& proxyText : {proxyAddress, "http=" + proxyAddress}) {
    const Bytes body = HttpObjectRequest(
        "http://example.invalid/x", {.proxy = proxyText, .proxyUser = "u", .proxyPassword = "p"});
    EXPECT_EQ(body, "via proxy") << proxyText;
  }
  for (const std::string& request : proxy.Requests()) {
    EXPECT_TRUE(request.starts_with("GET http://example.invalid/x HTTP/1.1\r\n")) << request;
    const Lines lines = HeaderLinesOf(request);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Proxy-Authorization: Basic dTpw"), 1)
        << request;
    EXPECT_EQ(std::count_if(
                  lines.begin(), lines.end(),
                  [](const std::string& line) { return line.starts_with("Proxy-Authorization"); }),
              1)
        << request;
  }
  EXPECT_EQ(proxy.Requests().size(), 2u);
}

TEST_F(ObjectRequestWireTest, ProxyCredentialsStayOffTheTunnel) {
  RawHttpServer proxy(Ok());
  EXPECT_EQ(HttpObjectRequest("https://example.invalid/x",
                              {.proxy = "127.0.0.1:" + std::to_string(proxy.Port()),
                               .proxyUser = "u",
                               .proxyPassword = "p"}),
            "");
  const std::string request = proxy.WaitForRequest();
  EXPECT_TRUE(request.starts_with("CONNECT example.invalid:443 HTTP/1.1\r\n")) << request;
  const Lines lines = HeaderLinesOf(request);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Proxy-Authorization: Basic dTpw"), 1)
      << request;
}

TEST_F(ObjectRequestWireTest, ErrorStatusIsAnAnswer) {
  RawHttpServer server(RawHttpServer::Answer("HTTP/1.1 404 Not Found", "", "gone"));
  int status = 0;
  EXPECT_EQ(HttpObjectRequest(server.Url(), {.status = &status}), "gone");
  EXPECT_EQ(status, 404);
}

TEST_F(ObjectRequestWireTest, FailuresAreSilentAndEmpty) {
  int closedPort = 0;
  { closedPort = RawHttpServer().Port(); }
  for (const std::string& url :
       {"http://127.0.0.1:" + std::to_string(closedPort) + "/", std::string("ftp://127.0.0.1/"),
        std::string("not an address"), std::string("")}) {
    Text headers = "stale", cookies = "a=1", returned = "stale";
    int status = -1;
    EXPECT_EQ(HttpObjectRequest(url, {.cookies = &cookies,
                                      .returnedCookies = &returned,
                                      .returnedHeaders = &headers,
                                      .status = &status}),
              "")
        << url;
    EXPECT_EQ(headers, "") << url;
    EXPECT_EQ(status, 0) << url;
    EXPECT_EQ(returned, "a=1") << url;  // the merge of the cookies with nothing
  }
}

TEST_F(ObjectRequestWireTest, ShortTimeoutEndsAStalledExchange) {
  RawHttpServer::Options options;
  options.delayBeforeAnswer = std::chrono::seconds(10);
  RawHttpServer server(options);
  Text headers = "stale";
  int status = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(
      HttpObjectRequest(server.Url(),
                        {.returnedHeaders = &headers, .status = &status, .timeoutSeconds = 1}),
      "");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(headers, "");
  EXPECT_EQ(status, 0);
}

TEST_F(ObjectRequestWireTest, SelfSignedHttpsIsAccepted) {
  TestHttpServer server(TestHttpServer::Scheme::kHttps);
  server.Routes().Get("/", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content("secure " + request.get_header_value("Referer"), "text/plain");
  });
  ASSERT_TRUE(server.Start());
  const std::string url = server.Url("/");
  int status = 0;
  const Bytes body = HttpObjectRequest(url, {.status = &status});
  server.Stop();
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body, "secure " + url);
}

}  // namespace
}  // namespace sucaigang
