#pragma once
// The local stand-in service: plays every outside party of the client on 127.0.0.1 — the API host
// (HTTP), the web host and the stock site (HTTPS, self-signed), the time site (HTTP) and a file
// host (HTTP). Tests start it in-process; the program sucaigang-standin wraps it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/fixture.h"

namespace sucaigang::standin {

enum class Host { Api, Web, Stock, Time, Files };
const char* HostName(Host host);

// One request as it arrived, recorded before it is answered.
struct RecordedRequest {
  Host host = Host::Api;
  std::string method{};
  std::string path{};      // the path as sent, without the query
  std::string rawQuery{};  // everything after "?", as sent (still percent-encoded)
  std::vector<std::pair<std::string, std::string>> params{};   // decoded query values
  std::vector<std::pair<std::string, std::string>> headers{};  // names as sent

  // First value by name, empty when missing (header names ignore ASCII case).
  std::string Header(std::string_view name) const;
  std::string Param(std::string_view name) const;
  bool HasParam(std::string_view name) const;
};

struct Options {
  bool freePorts = false;  // ignore the fixture's ports and take free ones
  std::function<void(const std::string&)> logSink{};  // gets each log line as it is made
};

class Service {
 public:
  // Listening on 127.0.0.1 when it returns; null with a reason in `error` otherwise.
  static std::unique_ptr<Service> Start(Fixture fixture, const Options& options,
                                        std::string& error);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Stops every server and waits for their threads; a slow body in flight is cut short.
  void Stop();

  std::string ApiBase() const;    // http://127.0.0.1:port
  std::string WebHome() const;    // https://127.0.0.1:port/
  std::string StockHome() const;  // https://127.0.0.1:port/
  std::string TimeUrl() const;    // http://127.0.0.1:port/
  std::string FilesBase() const;  // http://127.0.0.1:port
  int Port(Host host) const;
  std::string StockPageUrl(std::string_view id) const;
  std::string DownloadUrl(std::string_view id) const;  // what a ready parse answer carries

  // What arrived, per host and path (path without query).
  int Hits(Host host, std::string_view path) const;
  std::optional<RecordedRequest> LastRequest(Host host, std::string_view path) const;
  std::vector<RecordedRequest> Requests() const;
  std::vector<std::string> LogLines() const;
  void ClearRecords();

  // Changes the answers while running. SetResource also restarts its not-ready count.
  void SetAccount(const Account& account);  // replaces the account of that user, or adds it
  void SetResource(const Resource& resource);
  void SetVersion(const VersionAnswer& version);
  void SetFixedDate(const std::string& httpDate);

  struct State;

 private:
  explicit Service(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// The bytes a file of the file host holds, a pattern that depends on its name and on the offset,
// so that a shifted, repeated or lost piece shows.
std::string FileBytes(std::string_view name, std::int64_t offset, std::int64_t count);

// An HTTP date of the Unix time `seconds`, e.g. "Tue, 21 Jul 2020 12:00:00 GMT".
std::string HttpDate(std::int64_t seconds);

}  // namespace sucaigang::standin
