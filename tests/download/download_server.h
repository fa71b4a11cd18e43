#pragma once
// In-process HTTP and HTTPS servers on 127.0.0.1 for the download tests: fixed bodies, bodies
// sent slowly, cut short or held back until the test releases them.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "support/test_http_server.h"

namespace sucaigang::test {

// Holds answers back until released; every wait is bounded.
class Gate {
 public:
  void Release() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitOpen(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

inline std::string Pattern(std::size_t size, unsigned seed = 1) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 12345u;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

class DownloadServer {
 public:
  explicit DownloadServer(bool https = false)
      : server_(https ? TestHttpServer::Scheme::kHttps : TestHttpServer::Scheme::kHttp) {}
  ~DownloadServer() {
    gate.Release();
    server_.Stop();
  }

  httplib::Server& Routes() { return server_.Routes(); }
  void Run() { EXPECT_TRUE(server_.Start()) << "the test server did not start"; }
  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::vector<std::string> Paths() {
    std::lock_guard lock(mutex_);
    return paths_;
  }
  void Record(const httplib::Request& request) {
    std::lock_guard lock(mutex_);
    paths_.push_back(request.path);
    headers_.push_back(request.headers);
  }
  httplib::Headers LastHeaders() {
    std::lock_guard lock(mutex_);
    return headers_.empty() ? httplib::Headers{} : headers_.back();
  }

  Gate gate;

 private:
  TestHttpServer server_;
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::vector<httplib::Headers> headers_;
};

}  // namespace sucaigang::test
