#include "script/http_object_request.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "http/text_search.h"

namespace sucaigang {
namespace {

constexpr std::string_view kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                       "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr long kDefaultTimeoutMs = 15000;
// What the request object keeps when asked to leave its time-outs alone.
constexpr long kObjectConnectTimeoutMs = 60000;
constexpr long kObjectReceiveTimeoutMs = 30000;
// A server that never stops sending must not exhaust memory: far above any answer read here.
constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

bool IsTokenChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// The request object's SetRequestHeader: a later header of the same name replaces the earlier
// one, an empty value removes it, and a name or value it would refuse (not a token, or a line
// break that would smuggle in another line) is ignored.
class HeaderSet {
 public:
  void Set(const Text& name, const Text& value) {
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsTokenChar)) return;
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != Text::npos) return;
    const Text key = LowerAscii(name);
    auto same = std::find_if(headers_.begin(), headers_.end(),
                             [&](const auto& header) { return LowerAscii(header.first) == key; });
    if (value.empty()) {
      if (same != headers_.end()) headers_.erase(same);
    } else if (same != headers_.end()) {
      same->second = value;
    } else {
      headers_.emplace_back(name, value);
    }
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const auto& [name, value] : headers_) lines.push_back(name + ": " + value);
    return lines;
  }

 private:
  std::vector<std::pair<Text, Text>> headers_;
};

// A WinHttp proxy list: entries separated by ";" or white space, each "host:port" for every
// scheme or "scheme=host:port" for one; the first that applies to the address wins.
std::string ProxyFor(std::string_view proxy, bool https) {
  std::size_t pos = 0;
  while (pos < proxy.size()) {
    const std::size_t end = std::min(proxy.find_first_of("; \t\r\n", pos), proxy.size());
    const std::string_view entry = proxy.substr(pos, end - pos);
    pos = end + 1;
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) return std::string(entry);
    if (LowerAscii(entry.substr(0, equals)) == (https ? "https" : "http")) {
      return std::string(entry.substr(equals + 1));
    }
  }
  return {};
}

// Header text H: the caller's lines, the default lines whose probe it lacks, then normalised.
Text BuildHeaderText(std::string_view url, const HttpObjectRequestArgs& args) {
  Text headers(UntilZero(args.extraHeaders));
  if (args.addDefaultHeaders) {
    const auto addUnlessPresent = [&headers](std::string_view probe, const Text& line) {
      if (!ContainsNoCase(headers, probe)) headers += line;
    };
    addUnlessPresent("Accept:", "\r\nAccept: */*");
    addUnlessPresent("Referer:", "\r\nReferer: " + Text(url));
    addUnlessPresent("Accept-Language:", "\r\nAccept-Language: zh-cn");
    addUnlessPresent("User-Agent:",
                     "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    if (args.method == 1) {
      addUnlessPresent("Content-Type:", "\r\nContent-Type: application/x-www-form-urlencoded");
    }
  }
  if (args.normaliseHeaderNames) headers = NormaliseHeaderNames(headers);
  return headers;
}

Text CookiesSetBy(std::string_view headerBlock) {
  Text cookies;
  for (const Text& line : SplitText(headerBlock, "\r\n")) {
    if (TextLeftOf(line, ": ") != "Set-Cookie") continue;
    const Text cookie = line.find(';') != Text::npos ? TextBetween(line, "Set-Cookie:", ";")
                                                     : RemoveAllText(line, "Set-Cookie:", true);
    cookies += TrimSpaces(cookie) + "; ";
  }
  if (cookies.ends_with("; ")) cookies.resize(cookies.size() - 2);
  return cookies;
}

}  // namespace

Text Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t present = std::min<std::size_t>(3, bytes.size() - i);
    unsigned group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < present ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (int k = 0; k < 4; ++k) {
      out += k <= static_cast<int>(present) ? kAlphabet[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
  }
  return out;
}

Text HeaderLineName(std::string_view line) {
  line = UntilZero(line);
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? Text() : TrimSpaces(line.substr(0, colon));
}

Text HeaderLineValue(std::string_view line) {
  line = UntilZero(line);
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? Text() : TrimSpaces(line.substr(colon + 1));
}

TransportRequest BuildObjectTransportRequest(std::string_view url,
                                             const HttpObjectRequestArgs& args) {
  url = UntilZero(url);
  TransportRequest request;
  request.url = TransportUrl(url);
  request.method = kVerbs[args.method >= 0 && args.method <= 7 ? args.method : 0];
  request.followRedirects = !args.noRedirect;
  request.verifyPeer = false;
  request.maxBodyBytes = kMaxBodyBytes;
  if (args.timeoutSeconds == -1) {
    request.connectTimeoutMs = kObjectConnectTimeoutMs;
    request.stallTimeoutMs = kObjectReceiveTimeoutMs;
  } else {
    const long timeout = args.timeoutSeconds < 1 ? kDefaultTimeoutMs : args.timeoutSeconds * 1000L;
    request.connectTimeoutMs = timeout;
    request.stallTimeoutMs = timeout;
  }
  const bool https = LowerAscii(url.substr(0, 8)) == "https://";
  const Text proxy(UntilZero(args.proxy));
  if (!proxy.empty()) request.proxy = ProxyFor(proxy, https);

  const Text headerText = BuildHeaderText(url, args);
  HeaderSet headers;
  const Text proxyUser(UntilZero(args.proxyUser));
  const Text proxyPassword(UntilZero(args.proxyPassword));
  if (!proxy.empty() && !proxyUser.empty()) {
    if (args.credentialTarget == 1) {
      // The transport sends "Proxy-Authorization: Basic " + Base64 of "user:password" to the
      // proxy alone (on the CONNECT for https); as a request line it would reach the origin
      // server through a tunnel, and go out twice on plain http.
      request.proxyUser = proxyUser;
      request.proxyPassword = proxyPassword;
    } else if (args.credentialTarget == 0) {
      request.user = proxyUser;
      request.password = proxyPassword;
    }
  }
  if (args.cookies != nullptr) {
    Text& cookies = *args.cookies;
    cookies = Text(UntilZero(cookies));
    if (!cookies.empty() && ContainsNoCase(cookies, "Cookie:")) {
      cookies = RemoveAllText(cookies, "Cookie:", true);
    }
    // Set as the whole value, untrimmed: "Cookie: a=1" goes out as the value " a=1".
    headers.Set("Cookie", cookies);
  }
  if (headerText.find("\r\n") == Text::npos) {
    headers.Set(HeaderLineName(headerText), HeaderLineValue(headerText));
  } else {
    for (const Text& line : SplitText(headerText, "\r\n")) {
      if (line.empty()) continue;
      const Text name = HeaderLineName(line);
      const Text value = HeaderLineValue(line);
      if (name == "Connection" && value == "keep-alive") continue;
      headers.Set(name, value);
    }
  }
  request.headerLines = headers.Lines();
  return request;
}

Bytes HttpObjectRequest(std::string_view url, const HttpObjectRequestArgs& args) {
  TransportRequest request = BuildObjectTransportRequest(url, args);
  const Text postText(UntilZero(args.postText));
  request.body = !args.postBytes.empty() ? std::string_view(args.postBytes) : postText;

  const TransportResult result = Exchange(request);
  const bool answered = result.error == TransportError::None && result.headReceived;
  Bytes body = answered ? result.body : Bytes();
  const Text headerBlock = answered ? result.head.headerBlock : Text();
  if (args.returnedHeaders != nullptr) *args.returnedHeaders = headerBlock;
  if (args.status != nullptr) *args.status = answered ? result.head.status : 0;

  Text returnedCookies = CookiesSetBy(headerBlock);
  if (args.mergeCookies && args.cookies != nullptr) {
    returnedCookies = MergeCookies(*args.cookies, returnedCookies);
  }
  if (args.returnedCookies != nullptr) *args.returnedCookies = std::move(returnedCookies);
  return body;
}

}  // namespace sucaigang
