#include "support/test_http_server.h"

#include <chrono>

#include "standin/certificate.h"

namespace sucaigang::test {

TestHttpServer::TestHttpServer(Scheme scheme) : scheme_(scheme) {
  if (scheme == Scheme::kHttps) {
    const auto& certificate = standin::SelfSignedCertificate();
    server_ = std::make_unique<httplib::SSLServer>(certificate.certificateFile.c_str(),
                                                   certificate.privateKeyFile.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  server_->set_tcp_nodelay(true);
}

TestHttpServer::~TestHttpServer() { Stop(); }

bool TestHttpServer::Start() {
  if (thread_.joinable() || !server_->is_valid()) return false;
  const int port = server_->bind_to_any_port("127.0.0.1");
  if (port <= 0) return false;
  port_ = port;
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    done_ = true;
  });
  return WaitUntilListeningOrDone() && server_->is_running();
}

void TestHttpServer::Stop() {
  if (!thread_.joinable()) return;
  // stop() does nothing until the accept loop has begun, and the join would then wait forever.
  WaitUntilListeningOrDone();
  server_->stop();
  thread_.join();
}

std::string TestHttpServer::BaseUrl() const {
  return std::string(scheme_ == Scheme::kHttps ? "https" : "http") +
         "://127.0.0.1:" + std::to_string(port_);
}

bool TestHttpServer::WaitUntilListeningOrDone() const {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server_->is_running() && !done_) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace sucaigang::test
