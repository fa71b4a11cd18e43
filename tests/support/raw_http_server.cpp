#include "support/raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sucaigang::test {
namespace {

constexpr int kPollMs = 20;

// Reads the Content-Length value of a request head, 0 when there is none.
std::size_t ContentLength(const std::string& head) {
  std::size_t pos = 0;
  while (pos < head.size()) {
    std::size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) break;
    std::string line = head.substr(pos, end - pos);
    if (line.size() > 15 && strncasecmp(line.c_str(), "content-length:", 15) == 0) {
      return static_cast<std::size_t>(std::strtoull(line.c_str() + 15, nullptr, 10));
    }
    pos = end + 2;
  }
  return 0;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

RawHttpServer::RawHttpServer() : RawHttpServer(Options{}) {}

RawHttpServer::RawHttpServer(std::string cannedAnswer)
    : RawHttpServer(Options{
          .respond = [answer = std::move(cannedAnswer)](const std::string&) { return answer; }}) {}

RawHttpServer::RawHttpServer(Options options) : options_(std::move(options)) {
  if (!options_.respond) {
    options_.respond = [](const std::string&) { return Answer("HTTP/1.1 200 OK", "", ""); };
  }
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::listen(listener_, 16) == 0) {
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  thread_ = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer() {
  stop_ = true;
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string RawHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string RawHttpServer::WaitForRequest(std::size_t count,
                                          std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
  return requests_.size() >= count ? requests_[count - 1] : std::string();
}

std::string RawHttpServer::HeadOf(const std::string& request) {
  std::size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? request : request.substr(0, end + 4);
}

std::string RawHttpServer::Answer(const std::string& statusLine, const std::string& headerLines,
                                  const std::string& body) {
  return statusLine + "\r\n" + headerLines + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

bool RawHttpServer::WaitUnlessStopped(std::chrono::milliseconds delay) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, delay, [this] { return stop_.load(); });
}

void RawHttpServer::Serve() {
  if (port_ == 0) return;
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Handle(client);
    ::close(client);
  }
}

void RawHttpServer::Handle(int client) {
  std::string request;
  std::size_t wanted = std::string::npos;  // total bytes once the head is known
  char buffer[16384];
  while (!stop_ && request.size() < wanted) {
    pollfd p{client, POLLIN, 0};
    int ready = ::poll(&p, 1, kPollMs);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;  // the client went away: record what came
    request.append(buffer, static_cast<std::size_t>(n));
    std::size_t headEnd = request.find("\r\n\r\n");
    if (wanted == std::string::npos && headEnd != std::string::npos) {
      wanted = headEnd + 4 + ContentLength(request.substr(0, headEnd + 2));
    }
  }
  if (request.empty()) return;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();
  if (options_.delayBeforeAnswer.count() > 0 && !WaitUnlessStopped(options_.delayBeforeAnswer)) {
    return;
  }
  std::string answer = options_.respond(request);
  std::size_t split = options_.split > 0 ? std::min(options_.split, answer.size()) : answer.size();
  if (!SendAll(client, answer.data(), split)) return;
  if (split < answer.size()) {
    if (options_.delayAfterSplit.count() > 0 && !WaitUnlessStopped(options_.delayAfterSplit)) {
      return;
    }
    SendAll(client, answer.data() + split, answer.size() - split);
  }
  ::shutdown(client, SHUT_WR);
  // Let the client read the answer before the close (no reset of unread bytes).
  for (int i = 0; i < 50 && !stop_; ++i) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    if (::recv(client, buffer, sizeof buffer, 0) <= 0) break;
  }
}

}  // namespace sucaigang::test
