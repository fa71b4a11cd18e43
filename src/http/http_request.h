#pragma once
// One complete HTTP(S) exchange, synchronous on the calling thread, with browser-like default
// header lines, cookies carried in and out as text, relaxed certificate checks, and a page
// declaring another charset than GBK decoded into Text. Failures come back as a numbered
// Chinese text in `statusText` and an empty result.
//
//   Text status;
//   Text page = HttpRequest(url, {.extraHeaders = "Referer: " + home, .statusText = &status});
#include <cstddef>
#include <functional>
#include <string_view>

#include "text/text.h"

namespace sucaigang {

// Every field may be left out. Out-fields point at caller variables and are written only by the
// step that produces them; `cookies` is in/out.
struct HttpRequestArgs {
  int method = 0;           // 0..7 GET POST HEAD PUT OPTIONS DELETE TRACE CONNECT; others GET
  Text postText{};          // body, up to its first zero byte, when postBytes is empty
  Text* cookies = nullptr;  // "; "-joined name=value items to send; a merge rewrites it
  Text* returnedCookies = nullptr;  // the answer's cookies are appended
  Text extraHeaders{};              // the caller's lines, joined by CR LF
  Text* returnedHeaders = nullptr;  // status line and header lines, CR LF each, then CR LF
  bool noRedirect = false;
  Text userName{};  // Basic credentials for the server, used when both are set
  Text password{};
  Text proxy{};      // "host:port"; empty: no proxy
  Text proxyUser{};  // Basic credentials for the proxy, used when both are set
  Text proxyPassword{};
  int timeoutSeconds = 0;      // connect, and the longest silence while sending or reading; <1: 30
  Text* location = nullptr;    // written only when the answer has a Location line
  Text* statusText = nullptr;  // "200 OK", or the error text
  Bytes* body = nullptr;       // every byte of the answer body
  bool mergeCookies = true;
  bool addDefaultHeaders = true;
  Bytes postBytes{};  // binary body, used instead of postText when non-empty
  bool normaliseHeaderNames = true;
};

Text HttpRequest(std::string_view url, const HttpRequestArgs& args = {});

// The body size HttpRequest reads at most; past it the read ends as a failed read.
inline constexpr std::size_t kHttpRequestMaxBody = 64u << 20;

// The "pump pending messages" hook, process-wide: the application sets it so that a request on
// its window's thread keeps the window alive. It is called between steps, on failure exits and
// about every 50 ms while waiting, on whatever thread runs the request, so the hook must do
// nothing when called off its own thread. An empty function removes it.
void SetPumpHook(std::function<void()> hook);
void PumpPendingMessages();

}  // namespace sucaigang
