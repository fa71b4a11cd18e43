#pragma once
// A plain TCP listener on 127.0.0.1 (port 0) that records every request byte for byte and answers
// with a canned response. Header order and case survive, which an HTTP server library's parsed
// view loses: tests of the exact request bytes use this one. One connection at a time; each is
// closed after its answer.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sucaigang::test {

class RawHttpServer {
 public:
  // Makes the answer to one recorded request (the request's raw bytes are given).
  using Responder = std::function<std::string(const std::string& request)>;

  struct Options {
    Responder respond{};  // unset: "HTTP/1.1 200 OK" with an empty body
    // Waited before answering (the wait ends early when the server stops).
    std::chrono::milliseconds delayBeforeAnswer{0};
    // When set, the answer's first bytes (up to `split` bytes) are sent, then this wait, then the
    // rest; ends early when the server stops.
    std::size_t split = 0;
    std::chrono::milliseconds delayAfterSplit{0};
  };

  RawHttpServer();  // answers "HTTP/1.1 200 OK", empty body
  explicit RawHttpServer(std::string cannedAnswer);
  explicit RawHttpServer(Options options);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path = "/") const;

  // The requests received so far (head and, by Content-Length, body), in arrival order.
  std::vector<std::string> Requests() const;
  // Waits (at most `timeout`) until `count` requests were recorded; the last one, or empty.
  std::string WaitForRequest(std::size_t count = 1,
                             std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  // Just the head of a recorded request: from the request line to the empty line, inclusive.
  static std::string HeadOf(const std::string& request);
  // An answer with the given status line, header lines (each ending in "\r\n") and body; adds
  // Content-Length and "Connection: close".
  static std::string Answer(const std::string& statusLine, const std::string& headerLines,
                            const std::string& body);

 private:
  void Serve();
  void Handle(int client);
  bool WaitUnlessStopped(std::chrono::milliseconds delay);

  Options options_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace sucaigang::test
