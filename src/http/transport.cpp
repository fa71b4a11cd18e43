#include "http/transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "text/encoding.h"

namespace sucaigang {
namespace {

struct EasyCloser {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using EasyHolder = std::unique_ptr<CURL, EasyCloser>;

struct MultiCloser {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
using MultiHolder = std::unique_ptr<CURLM, MultiCloser>;

struct ListCloser {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using ListHolder = std::unique_ptr<curl_slist, ListCloser>;

// Keeps the easy handle inside the multi handle for exactly as long as both live.
class MultiMembership {
 public:
  MultiMembership(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
    curl_multi_add_handle(multi_, easy_);
  }
  ~MultiMembership() { curl_multi_remove_handle(multi_, easy_); }
  MultiMembership(const MultiMembership&) = delete;
  MultiMembership& operator=(const MultiMembership&) = delete;

 private:
  CURLM* multi_;
  CURL* easy_;
};

using Clock = std::chrono::steady_clock;

// How long one wait for socket activity may last: the upper bound on how late keepGoing and the
// stall check run while nothing happens.
constexpr int kPollMs = 50;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(s[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

std::string_view HeaderName(std::string_view line) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

// Everything the callbacks of one exchange share.
struct ExchangeState {
  const TransportRequest* request = nullptr;
  TransportResult* result = nullptr;
  std::string headerBlock;  // of the answer being read
  std::string statusLine;
  bool inHead = false;
  bool headDone = false;    // the answer being read has its complete header block
  bool headHanded = false;  // onHead ran (or there was none to run)
  bool tooLarge = false;
  bool aborted = false;
  bool stalled = false;
  std::uint64_t moved = 0;  // header and body bytes seen, for the stall check
};

std::int64_t ContentLengthOf(std::string_view block) {
  std::size_t pos = 0;
  std::int64_t length = -1;
  while (pos < block.size()) {
    std::size_t end = block.find("\r\n", pos);
    if (end == std::string_view::npos) end = block.size();
    std::string_view line = block.substr(pos, end - pos);
    if (SameName(HeaderName(line), "Content-Length")) {
      std::string value(line.substr(line.find(':') + 1));
      char* stop = nullptr;
      long long n = std::strtoll(value.c_str(), &stop, 10);
      if (stop != value.c_str() && n >= 0) length = n;
    }
    pos = end + 2;
  }
  return length;
}

int StatusOf(std::string_view statusLine) {
  std::size_t space = statusLine.find(' ');
  if (space == std::string_view::npos) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < statusLine.size() && i < space + 4; ++i) {
    char c = statusLine[i];
    if (c < '0' || c > '9') return 0;
    status = status * 10 + (c - '0');
  }
  return status;
}

// Publishes the answer's head and hands it to onHead, once, before its first body byte.
bool HandHead(ExchangeState& s) {
  if (s.headHanded) return true;
  s.headHanded = true;
  TransportHead& head = s.result->head;
  head.statusLine = s.statusLine;
  head.headerBlock = s.headerBlock;
  head.status = StatusOf(s.statusLine);
  head.contentLength = ContentLengthOf(s.headerBlock);
  s.result->headReceived = true;
  if (s.request->onHead && !s.request->onHead(head)) {
    s.aborted = true;
    return false;
  }
  return true;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& s = *static_cast<ExchangeState*>(user);
  std::size_t n = size * count;
  s.moved += n;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (StartsWithNoCase(line, "HTTP/")) {
    // A new answer (interim, redirect or final): only the last one counts.
    s.statusLine.assign(line);
    s.headerBlock.clear();
    s.inHead = true;
    s.headDone = false;
  } else if (line.empty()) {
    if (s.inHead) s.headDone = true;
    s.inHead = false;
  } else if (s.inHead) {
    s.headerBlock.append(line);
    s.headerBlock.append("\r\n");
  }
  return n;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& s = *static_cast<ExchangeState*>(user);
  std::size_t n = size * count;
  s.moved += n;
  if (!HandHead(s)) return 0;
  const TransportRequest& request = *s.request;
  TransportResult& result = *s.result;
  if (request.onBody) {
    result.bodyBytes += static_cast<std::int64_t>(n);
    if (!request.onBody(data, n)) {
      s.aborted = true;
      return 0;
    }
    return n;
  }
  std::size_t room = request.maxBodyBytes - std::min(request.maxBodyBytes, result.body.size());
  if (n > room) {
    result.body.append(data, room);
    result.bodyBytes += static_cast<std::int64_t>(room);
    s.tooLarge = true;
    return 0;
  }
  result.body.append(data, n);
  result.bodyBytes += static_cast<std::int64_t>(n);
  return n;
}

bool IsHttpAddress(std::string_view url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

bool CallerSends(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (SameName(HeaderName(line), name)) return true;
  }
  return false;
}

// curl drops a line "Name:" with nothing after the colon (that form removes one of its own
// lines); "Name;" is how it is told to send the empty line.
std::string CurlHeaderLine(std::string_view line) {
  std::size_t colon = line.find(':');
  if (colon != std::string_view::npos &&
      line.find_first_not_of(" \t", colon + 1) == std::string_view::npos) {
    return std::string(line.substr(0, colon)) + ";";
  }
  return std::string(line);
}

ListHolder BuildHeaderList(const TransportRequest& request, bool withBody) {
  std::vector<std::string> lines;
  for (const std::string& entry : request.headerLines) {
    std::size_t pos = 0;
    while (pos <= entry.size()) {
      std::size_t end = entry.find_first_of("\r\n", pos);
      if (end == std::string::npos) end = entry.size();
      if (end > pos) lines.push_back(entry.substr(pos, end - pos));
      pos = end + 1;
    }
  }
  curl_slist* list = nullptr;
  auto add = [&list](const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown) list = grown;
  };
  for (const std::string& line : lines) add(CurlHeaderLine(line));
  // Lines curl would add of its own accord, unless the caller sends them.
  if (!CallerSends(lines, "Accept")) add("Accept:");
  if (!CallerSends(lines, "Expect")) add("Expect:");
  if (withBody && !CallerSends(lines, "Content-Type")) add("Content-Type:");
  if (!request.proxy.empty() && !CallerSends(lines, "Proxy-Connection")) add("Proxy-Connection:");
  return ListHolder(list);
}

// The system's trusted authorities and the extra file, as one PEM bundle for curl.
std::string CombinedCaBundle(CURL* easy, const std::string& extraCaFile) {
  std::string bundle;
  auto append = [&bundle](const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    bundle += text.str();
    bundle += "\n";
  };
  char* systemFile = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &systemFile) == CURLE_OK && systemFile) {
    append(systemFile);
  }
  append(extraCaFile.c_str());
  return bundle;
}

TransportError ErrorOf(CURLcode code, const ExchangeState& s, bool connected) {
  if (s.tooLarge) return TransportError::TooLarge;
  if (s.stalled) return TransportError::Timeout;
  if (s.aborted) return TransportError::Aborted;
  switch (code) {
    case CURLE_OK:
      return TransportError::None;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return TransportError::BadAddress;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return TransportError::Resolve;
    case CURLE_COULDNT_CONNECT:
      return TransportError::Connect;
    case CURLE_OPERATION_TIMEDOUT:
      return connected ? TransportError::Timeout : TransportError::Connect;
    case CURLE_SEND_ERROR:
      return TransportError::Send;
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return TransportError::Receive;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return TransportError::Tls;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR:
      return TransportError::Aborted;
    default:
      return TransportError::Other;
  }
}

// Connected means the connection (and for https its TLS handshake) is up; from then on the
// stall time-out applies instead of the connect time-out.
bool IsConnected(CURL* easy, bool https) {
  curl_off_t t = 0;
  CURLINFO what = https ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T;
  return curl_easy_getinfo(easy, what, &t) == CURLE_OK && t > 0;
}

}  // namespace

void TransportGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TransportResult Exchange(const TransportRequest& request) {
  TransportGlobalInit();
  TransportResult result;
  auto keepGoing = [&request] { return !request.keepGoing || request.keepGoing(); };

  if (!IsHttpAddress(request.url)) {
    result.error = TransportError::BadAddress;
    result.errorDetail = "not an http or https address";
    return result;
  }
  EasyHolder easyHolder(curl_easy_init());
  MultiHolder multiHolder(curl_multi_init());
  if (!easyHolder || !multiHolder) {
    result.error = TransportError::Other;
    result.errorDetail = "curl handle not made";
    return result;
  }
  CURL* easy = easyHolder.get();
  ExchangeState state;
  state.request = &request;
  state.result = &result;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  const bool https = StartsWithNoCase(request.url, "https://");
  const bool head = request.method == "HEAD";
  const bool withBody = !head && (!request.body.empty() || request.method == "POST");

  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  // One request line form for http and https alike, and header names as they were given.
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));

  if (head) {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (withBody) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    // Never a null pointer: curl would then read the body from standard input.
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.empty() ? "" : request.body.data());
    if (request.method != "POST") {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
  } else if (request.method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }

  ListHolder headers = BuildHeaderList(request, withBody);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());

  if (!request.user.empty()) {
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(easy, CURLOPT_USERNAME, request.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, request.password.c_str());
  }
  // An empty proxy text keeps the environment's proxy variables out too.
  curl_easy_setopt(easy, CURLOPT_PROXY, request.proxy.c_str());
  if (!request.proxy.empty()) {
    if (!request.proxyBypass.empty()) {
      curl_easy_setopt(easy, CURLOPT_NOPROXY, request.proxyBypass.c_str());
    }
    if (!request.proxyUser.empty()) {
      curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxyUser.c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  }
  if (request.followRedirects) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  }

  std::string caBundle;
  if (request.verifyPeer) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.extraCaFile.empty()) {
      // A CA file of our own would replace the system's bundle; one blob holding both keeps
      // them both trusted.
      caBundle = CombinedCaBundle(easy, request.extraCaFile);
      curl_blob blob{caBundle.data(), caBundle.size(), CURL_BLOB_NOCOPY};
      curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
  } else {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  if (request.connectTimeoutMs > 0) {
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
  }
  if (request.bufferSize > 0) curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, request.bufferSize);

  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);

  if (!keepGoing()) {
    result.error = TransportError::Aborted;
    result.errorDetail = "stopped before sending";
    return result;
  }

  // The multi loop (one easy handle) instead of curl_easy_perform: it bounds every wait, so
  // keepGoing runs often enough to keep a window painted and the stall time-out is checked
  // to within one wait.
  CURLM* multi = multiHolder.get();
  CURLcode code = CURLE_OK;
  {
    MultiMembership membership(multi, easy);
    std::uint64_t lastMoved = 0;
    curl_off_t lastUploaded = 0;
    Clock::time_point lastMove = Clock::now();
    int running = 1;
    while (true) {
      CURLMcode mc = curl_multi_perform(multi, &running);
      if (mc != CURLM_OK) {
        code = CURLE_OUT_OF_MEMORY;
        break;
      }
      if (!running) {
        code = CURLE_OK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
          if (msg->msg == CURLMSG_DONE) code = msg->data.result;
        }
        break;
      }
      if (!keepGoing()) {
        state.aborted = true;
        code = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      Clock::time_point now = Clock::now();
      curl_off_t uploaded = 0;
      curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
      if (state.moved != lastMoved || uploaded != lastUploaded || !IsConnected(easy, https)) {
        lastMoved = state.moved;
        lastUploaded = uploaded;
        lastMove = now;
      } else if (request.stallTimeoutMs > 0 &&
                 now - lastMove >= std::chrono::milliseconds(request.stallTimeoutMs)) {
        state.stalled = true;
        code = CURLE_OPERATION_TIMEDOUT;
        break;
      }
      curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
  }

  // An answer without body bytes still gets its head handed over.
  if (code == CURLE_OK && state.headDone) HandHead(state);
  if (code != CURLE_OK && state.headDone && !state.headHanded) {
    // The head arrived, the rest broke off: the caller still learns what the answer was.
    TransportHead& head = result.head;
    head.statusLine = state.statusLine;
    head.headerBlock = state.headerBlock;
    head.status = StatusOf(state.statusLine);
    head.contentLength = ContentLengthOf(state.headerBlock);
    result.headReceived = true;
  }
  if (!result.headReceived && !state.statusLine.empty()) {
    result.head.statusLine = state.statusLine;
    result.head.status = StatusOf(state.statusLine);
  }
  result.error = ErrorOf(code, state, IsConnected(easy, https));
  if (result.error == TransportError::None && !state.headHanded) {
    result.error = TransportError::Receive;
    result.errorDetail = "no complete answer";
  } else if (result.error != TransportError::None) {
    if (state.tooLarge) {
      result.errorDetail = "body larger than the limit";
    } else if (state.stalled) {
      result.errorDetail = "nothing moved within the stall time";
    } else if (state.aborted) {
      result.errorDetail = "stopped by the caller";
    } else {
      result.errorDetail = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    }
  }
  return result;
}

std::string TransportUrl(std::string_view textUrl) {
  Bytes utf8 = GbkToUtf8(UntilZero(textUrl));
  // The host part ends at the first "/", "?" or "#" after "://".
  std::size_t scheme = utf8.find("://");
  std::size_t hostEnd = scheme == std::string::npos ? 0 : utf8.find_first_of("/?#", scheme + 3);
  if (hostEnd == std::string::npos) hostEnd = utf8.size();
  std::string out = utf8.substr(0, hostEnd);
  // User information written into the address is never sent: credentials come only from the
  // caller's own arguments.
  if (scheme != std::string::npos) {
    const std::size_t at = out.rfind('@');
    if (at != std::string::npos && at > scheme + 3) out.erase(scheme + 3, at - scheme - 2);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = hostEnd; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace sucaigang
