#pragma once
// The one place that wraps libcurl: one easy handle per exchange, no connection reuse, no cookie
// store, nothing sent that the caller did not ask for. Both request paths and the download
// engine stand on it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace sucaigang {

// Once per process, before any exchange (curl_global_init is not thread-safe).
void TransportGlobalInit();

enum class TransportError {
  None,
  BadAddress,  // not an http(s) address, or one curl cannot parse
  Resolve,     // host name not resolved
  Connect,     // connection refused or not made in time
  Timeout,     // nothing sent or received within the stall time
  Send,        // sending the request failed
  Receive,     // the answer broke off or could not be read
  Tls,         // TLS handshake or certificate failure
  TooLarge,    // a buffered body passed maxBodyBytes
  Aborted,     // a callback of the caller asked to stop
  Other,
};

struct TransportHead {
  int status = 0;           // final answer's status code
  std::string statusLine;   // "HTTP/1.1 200 OK", without line break
  std::string headerBlock;  // the final answer's header lines, each ending in "\r\n"; neither
                            // the status line nor the empty line that ends the block
  std::int64_t contentLength = -1;  // -1 when the answer states none
};

struct TransportRequest {
  std::string method = "GET";  // HEAD sends no body and reads none
  std::string url{};           // ASCII as curl takes it; TransportUrl makes one from a Text address
  // "Name: value", sent exactly and in this order (bytes unchanged, a line with an empty value
  // included); curl adds only Host, Content-Length for a body, and the Basic credential lines.
  // A line break inside an entry splits it into several lines.
  std::vector<std::string> headerLines{};
  std::string_view body{};
  std::string user{}, password{};  // Basic credentials for the server when user is set
  std::string proxy{};             // "host:port"; empty: no proxy (environment ignored)
  std::string proxyBypass{};       // curl's no-proxy list
  // Basic credentials for the proxy when proxyUser is set.
  std::string proxyUser{}, proxyPassword{};
  bool followRedirects = true;
  bool verifyPeer = false;    // false: certificate errors are accepted
  std::string extraCaFile{};  // trusted besides the system store (tests and benchmarks only)
  long connectTimeoutMs = 0;  // resolve + connect; 0: curl's default
  // Fail when, once connected, no byte goes out or comes in for this long (checked between
  // socket waits of at most 50 ms); 0: never.
  long stallTimeoutMs = 0;
  std::size_t maxBodyBytes = std::numeric_limits<std::size_t>::max();
  long bufferSize = 0;  // CURLOPT_BUFFERSIZE; 0: curl's default
  // Called once when the final answer's header block is complete; false aborts.
  std::function<bool(const TransportHead&)> onHead{};
  // When set, body bytes are handed over here as they arrive instead of being collected;
  // false aborts.
  std::function<bool(const char* data, std::size_t size)> onBody{};
  // Called between steps and regularly while waiting (pumps the UI, checks for a stop);
  // false aborts.
  std::function<bool()> keepGoing{};
};

struct TransportResult {
  TransportError error = TransportError::None;
  std::string errorDetail;     // curl's own words, for logs and tests
  TransportHead head;          // filled as far as the answer got
  Bytes body;                  // collected body (empty when onBody is set)
  std::int64_t bodyBytes = 0;  // body bytes received, collected or handed over
  bool headReceived = false;   // the final answer's header block arrived complete
};

TransportResult Exchange(const TransportRequest& request);

// The address as curl takes it, from a GBK Text: UTF-8, with every byte of 0x80 and above and
// every space or control byte after the host part percent-encoded (as WinHttp sends a wide
// object name); a non-ASCII host name stays UTF-8 for curl's IDN handling.
std::string TransportUrl(std::string_view textUrl);

}  // namespace sucaigang
