#pragma once
// The program's second request path: one synchronous HTTP(S) exchange with its own defaults
// (15-second time-outs, four browser-like header lines with the address itself as Referer),
// on the shared curl transport. Failures are silent: empty body, empty headers, status 0.
#include <string_view>

#include "http/transport.h"
#include "text/text.h"

namespace sucaigang {

// Every field may be left out. Out-fields point at caller variables and are written only when
// set; `cookies` is in/out, and whether it is set at all (even to an empty text) changes what
// is sent and merged.
struct HttpObjectRequestArgs {
  int method = 0;   // 0..7 GET POST HEAD PUT OPTIONS DELETE TRACE CONNECT; others GET
  Text postText{};  // body when postBytes is empty, sent as its own bytes
  Text* cookies = nullptr;
  Text* returnedCookies = nullptr;
  Text extraHeaders{};  // the caller's lines, joined by CR LF
  Text* returnedHeaders = nullptr;
  int* status = nullptr;
  bool noRedirect = false;
  Bytes postBytes{};
  // WinHttp proxy text: "host:port", or "scheme=host:port" entries separated by ";" or spaces.
  Text proxy{};
  // Per stage, in seconds; below 1 means 15; -1 keeps the request object's own time-outs
  // (connect 60 s, send and receive 30 s).
  int timeoutSeconds = 0;
  Text proxyUser{};
  Text proxyPassword{};
  int credentialTarget = 1;  // 1: the proxy, 0: the server (both only with a proxy)
  bool mergeCookies = true;
  bool addDefaultHeaders = true;
  bool normaliseHeaderNames = true;
};

Bytes HttpObjectRequest(std::string_view url, const HttpObjectRequestArgs& args = {});

// The exchange HttpObjectRequest asks of the transport for these arguments (header lines in the
// order they are set: Cookie, then the built lines). It applies the cookie
// marker removal to *args.cookies, as the request itself does.
TransportRequest BuildObjectTransportRequest(std::string_view url,
                                             const HttpObjectRequestArgs& args);

// Standard Base64 with "=" padding; empty in, empty out.
Text Base64Encode(std::string_view bytes);
// The text before / after a header line's first ":", trimmed of spaces; empty without a colon.
Text HeaderLineName(std::string_view line);
Text HeaderLineValue(std::string_view line);

}  // namespace sucaigang
