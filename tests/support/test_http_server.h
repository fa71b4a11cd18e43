#pragma once
// An in-process cpp-httplib server on 127.0.0.1 (port 0), plain or TLS with the self-signed
// certificate, listening on a thread of its own. Handlers go on Routes() before Start(); the
// server is stopped and its thread joined at destruction.
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#include <httplib.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace sucaigang::test {

class TestHttpServer {
 public:
  enum class Scheme { kHttp, kHttps };

  explicit TestHttpServer(Scheme scheme = Scheme::kHttp);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  // Where handlers are registered, before Start().
  httplib::Server& Routes() { return *server_; }

  // Binds a free port and listens; true once connections are taken (the wait is bounded). False
  // when the certificate did not load, the bind failed or the server did not begin listening.
  [[nodiscard]] bool Start();
  // Stops listening and joins the thread; the handlers have returned afterwards. Repeatable.
  void Stop();

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>".
  std::string BaseUrl() const;
  std::string Url(const std::string& path) const { return BaseUrl() + path; }

 private:
  bool WaitUntilListeningOrDone() const;

  Scheme scheme_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  int port_ = 0;
};

}  // namespace sucaigang::test
