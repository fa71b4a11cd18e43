#include "http/http_request.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "http/text_search.h"
#include "http/transport.h"
#include "script/regex_search.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

// The failure texts, in the order of the steps that write them. 700, 702 to 705, 707 to 709 and
// the certificate text belong to platform calls that cannot fail on this transport; they are
// kept so that the whole numbered set stays in one place.
enum class Failure {
  NoPlatform,     // 700
  BadUrl,         // 701
  NoSession,      // 702
  NoTimeouts,     // 705
  NoConnection,   // 703
  NoRequest,      // 704
  NoCredentials,  // 707
  NoCertificateFlags,
  NoCookieOption,    // 708
  NoRedirectOption,  // 709
  BadHeaders,        // 710
  SendFailed,        // 711
  NoAnswer,          // 712
  ReadFailed,        // 713
};

Text FailureText(Failure failure) {
  switch (failure) {
    case Failure::NoPlatform:
      return "700 当前系统不支持WinHttp服务!"_gbk;
    case Failure::BadUrl:
      return "701 解析URL地址失败!"_gbk;
    case Failure::NoSession:
      return "702 创建WinHttp会话失败!"_gbk;
    case Failure::NoTimeouts:
      return "705 设置超时时间失败!"_gbk;
    case Failure::NoConnection:
      return "703 创建WinHttp连接失败!"_gbk;
    case Failure::NoRequest:
      return "704 创建WinHttp请求失败!"_gbk;
    case Failure::NoCredentials:
      return "707 设置代理凭证失败!"_gbk;
    case Failure::NoCertificateFlags:
      return "忽略错误/证书错误  失败！"_gbk;
    case Failure::NoCookieOption:
      return "708 禁止自动设置Cookies失败!"_gbk;
    case Failure::NoRedirectOption:
      return "709 重定向设置失败!"_gbk;
    case Failure::BadHeaders:
      return "710 设置协议头失败!"_gbk;
    case Failure::SendFailed:
      return "711 发送请求失败!"_gbk;
    case Failure::NoAnswer:
      return "712 服务器未响应!"_gbk;
    case Failure::ReadFailed:
      return "713 读取数据失败!"_gbk;
  }
  return {};
}

std::mutex pumpMutex;
std::shared_ptr<const std::function<void()>> pumpHook;

const char* const kMethods[] = {"GET",     "POST",   "HEAD",  "PUT",
                                "OPTIONS", "DELETE", "TRACE", "CONNECT"};

struct DefaultLine {
  std::string_view probe;
  std::string_view line;
  bool postOnly;
};
constexpr DefaultLine kDefaultLines[] = {
    {"User-Agent: ",
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
     false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: identity\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
};

bool ContainsBytesNoCase(std::string_view text, std::string_view probe) {
  for (std::size_t i = 0; i + probe.size() <= text.size(); ++i) {
    if (EqualNoCase(text.substr(i, probe.size()), probe)) return true;
  }
  return false;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// What WinHttpCrackUrl accepts: an http or https scheme, a host, and a port of 1 to 65535 when
// one is written.
bool IsCrackableAddress(std::string_view url) {
  std::size_t rest = 0;
  if (url.size() >= 7 && EqualNoCase(url.substr(0, 7), "http://")) {
    rest = 7;
  } else if (url.size() >= 8 && EqualNoCase(url.substr(0, 8), "https://")) {
    rest = 8;
  } else {
    return false;
  }
  std::string_view authority = url.substr(rest);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
    if (port.empty() || port.size() > 5) return false;
    long value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
  }
  return !authority.empty();
}

// The header block of step 12.
Text BuildHeaderBlock(const HttpRequestArgs& args, std::string_view cookies) {
  Text h;
  if (!args.extraHeaders.empty()) h = args.extraHeaders + "\r\n";
  if (args.addDefaultHeaders) {
    for (const DefaultLine& d : kDefaultLines) {
      if (d.postOnly && args.method != 1) continue;
      if (!ContainsNoCase(h, d.probe)) h.append(d.line);
    }
  }
  if (args.normaliseHeaderNames) h = NormaliseHeaderNames(h);
  if (FindText(h, "Connection") != std::string_view::npos &&
      GetHeaderValue(h, "Connection") == "keep-alive") {
    h = RemoveAllText(h, "Connection: keep-alive\r\n");
  }
  if (!ContainsNoCase(h, "Cookie:") && !cookies.empty()) {
    if (ContainsNoCase(cookies, "Cookie:")) {
      h += "\r\n" + Text(cookies) + "\r\n";
    } else {
      h += "\r\nCookie: " + Text(cookies) + "\r\n";
    }
  }
  return h;
}

// The block's lines as the transport takes them; false when a line has no header name, which
// the platform refuses.
bool HeaderLines(std::string_view block, std::vector<std::string>& lines) {
  for (const Text& line : SplitText(block, "\r\n")) {
    if (line.empty()) continue;
    std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    lines.push_back(line);
  }
  return true;
}

// The body decoded from `charset` into Text, as far as the first zero character; false when
// iconv does not know the charset. Undecodable bytes become "?", a UTF-8 byte-order mark is
// dropped.
bool DecodeCharset(std::string_view body, const Text& charset, Text& out) {
  // Windows reads these names as code page 936 (GBK); iconv's GB2312 is the strict EUC-CN set
  // and would reject every GBK character outside it.
  static constexpr std::string_view kGbkNames[] = {"gb2312",  "gbk",        "x-gbk",
                                                   "cp936",   "ms936",      "csgb2312",
                                                   "chinese", "gb_2312-80", "windows-936"};
  const Text lowered = LowerAscii(charset);
  const bool gbk =
      std::find(std::begin(kGbkNames), std::end(kGbkNames), lowered) != std::end(kGbkNames);
  if (lowered == "utf-8" && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  return CharsetToGbk(body, gbk ? "CP936" : charset, out);
}

// Step 19: a page whose meta tag names another charset than GBK is decoded from it.
void ApplyCharset(const Bytes& body, Text& result) {
  std::string_view head = std::string_view(result).substr(0, 1024);
  // The pattern begins with "<meta": without those bytes anywhere (byte by byte, since the
  // expression reads a stray lead byte as a character of its own) there is nothing to match,
  // and no expression to compile.
  if (!ContainsBytesNoCase(head, "<meta")) return;
  RegexSearch search;
  if (!search.Execute("<meta.+?charset=[^\\w]?([-\\w]+)", head)) return;
  Text charset = search.SubmatchText(1, 1);
  if (charset.empty() || charset == "gbk" || charset == "gb2312") return;
  Text decoded;
  if (DecodeCharset(body, charset, decoded)) result = std::move(decoded);
}

}  // namespace

void SetPumpHook(std::function<void()> hook) {
  auto shared = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
  std::lock_guard lock(pumpMutex);
  pumpHook = std::move(shared);
}

void PumpPendingMessages() {
  std::shared_ptr<const std::function<void()>> hook;
  {
    std::lock_guard lock(pumpMutex);
    hook = pumpHook;
  }
  if (hook) (*hook)();
}

Text HttpRequest(std::string_view url, const HttpRequestArgs& args) {
  auto fail = [&args](Failure failure) {
    if (args.statusText) *args.statusText = FailureText(failure);
    PumpPendingMessages();
    return Text();
  };
  const std::string_view address = UntilZero(url);
  if (!IsCrackableAddress(address)) return fail(Failure::BadUrl);

  const long timeoutMs = args.timeoutSeconds >= 1 ? args.timeoutSeconds * 1000L : 30000L;
  const int method = args.method >= 0 && args.method <= 7 ? args.method : 0;
  const Text noCookies;
  const Text& cookies = args.cookies ? *args.cookies : noCookies;

  TransportRequest request;
  request.method = kMethods[method];
  request.url = TransportUrl(address);
  if (!HeaderLines(BuildHeaderBlock(args, cookies), request.headerLines)) {
    return fail(Failure::BadHeaders);
  }
  const std::string_view postText = UntilZero(args.postText);
  request.body = args.postBytes.empty() ? postText : std::string_view(args.postBytes);
  if (!args.userName.empty() && !args.password.empty()) {
    request.user = args.userName;
    request.password = args.password;
  }
  // WinHttp's named proxy ("http=" + proxy for an http address, the proxy itself for https)
  // is the same one proxy for both schemes.
  request.proxy = args.proxy;
  if (!args.proxyUser.empty() && !args.proxyPassword.empty()) {
    request.proxyUser = args.proxyUser;
    request.proxyPassword = args.proxyPassword;
  }
  request.followRedirects = !args.noRedirect;
  request.connectTimeoutMs = timeoutMs;
  request.stallTimeoutMs = timeoutMs;
  request.maxBodyBytes = kHttpRequestMaxBody;
  request.keepGoing = [] {
    PumpPendingMessages();
    return true;
  };

  TransportResult answer = Exchange(request);
  if (!answer.headReceived) {
    switch (answer.error) {
      case TransportError::BadAddress:
        return fail(Failure::BadUrl);
      case TransportError::Resolve:
      case TransportError::Connect:
      case TransportError::Send:
      case TransportError::Tls:
        return fail(Failure::SendFailed);
      default:
        return fail(Failure::NoAnswer);
    }
  }
  // Past the head, a failure (broken off, silent too long, or the body limit) is a failed
  // read: the call goes on with the bytes read so far.
  const bool readFailed = answer.error != TransportError::None;

  // Headers and cookies.
  Text headers = answer.head.statusLine + "\r\n" + answer.head.headerBlock + "\r\n";
  if (args.returnedHeaders) *args.returnedHeaders = headers;
  if (readFailed) {
    // The status text must not hide the failed read (the body is incomplete).
    if (args.statusText) *args.statusText = FailureText(Failure::ReadFailed);
  } else if (args.statusText) {
    std::size_t from = std::min<std::size_t>(9, headers.size());
    std::size_t end = headers.find("\r\n", from);
    *args.statusText = headers.substr(from, end == std::string::npos ? end : end - from);
  }
  Text scratchCookies;
  Text& returnedCookies = args.returnedCookies ? *args.returnedCookies : scratchCookies;
  for (const Text& line : SplitText(headers, "\r\n")) {
    if (TextLeftOf(line, ": ") == "Set-Cookie") {
      Text cookie = FindText(line, ";") != std::string_view::npos
                        ? TextBetween(line, "Set-Cookie:", ";")
                        : RemoveAllText(line, "Set-Cookie:", true);
      returnedCookies += TrimSpaces(cookie) + "; ";
    }
    if (line.size() >= 10 && EqualNoCase(std::string_view(line).substr(0, 10), "Location: ")) {
      if (args.location) *args.location = line.substr(10);
    }
    PumpPendingMessages();
  }
  if (EndsWith(returnedCookies, "; ")) returnedCookies.resize(returnedCookies.size() - 2);
  if (args.mergeCookies && args.cookies && !args.cookies->empty()) {
    returnedCookies = MergeCookies(*args.cookies, returnedCookies);
  }

  Text result(UntilZero(answer.body));
  ApplyCharset(answer.body, result);
  PumpPendingMessages();
  if (args.body) *args.body = std::move(answer.body);
  return result;
}

}  // namespace sucaigang
