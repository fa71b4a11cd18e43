#include "standin/standin.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

#include "standin/certificate.h"
#include "standin/pages.h"
#include "text/encoding.h"

namespace sucaigang::standin {

const char* HostName(Host host) {
  switch (host) {
    case Host::Api:
      return "api";
    case Host::Web:
      return "web";
    case Host::Stock:
      return "stock";
    case Host::Time:
      return "time";
    case Host::Files:
      return "files";
  }
  return "?";
}

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string ClockText() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(
      text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
      static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000));
  return text;
}

constexpr std::int64_t kPieceBytes = 65536;
constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr const char* kHtmlType = "text/html; charset=utf-8";

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (SameIgnoringCase(key, name)) return value;
  }
  return {};
}

std::string RecordedRequest::Param(std::string_view name) const {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return {};
}

bool RecordedRequest::HasParam(std::string_view name) const {
  return std::any_of(params.begin(), params.end(), [&](const auto& p) { return p.first == name; });
}

std::string FileBytes(std::string_view name, std::int64_t offset, std::int64_t count) {
  std::uint32_t seed = 2166136261u;  // FNV-1a of the name
  for (unsigned char c : name) seed = (seed ^ c) * 16777619u;
  std::string out(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), '\0');
  for (std::int64_t i = 0; i < count; ++i) {
    std::uint64_t at = static_cast<std::uint64_t>(offset + i);
    out[static_cast<std::size_t>(i)] = static_cast<char>((seed + at * 7 + at / 251) & 0xFF);
  }
  return out;
}

std::string HttpDate(std::int64_t seconds) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday],
                utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                utc.tm_sec);
  return text;
}

struct Service::State {
  Options options;

  mutable std::mutex mutex;  // guards everything below up to the servers
  Fixture fixture;
  std::map<std::string, int> parseAnswers;  // parse answers given per resource id
  std::vector<RecordedRequest> requests;
  std::map<std::pair<Host, std::string>, std::size_t> lastIndex;
  std::map<std::pair<Host, std::string>, int> hits;
  std::vector<std::string> logLines;

  std::mutex logMutex;  // keeps the sink's lines whole and in order

  std::mutex stopMutex;
  std::condition_variable stopSignal;
  bool stopping = false;

  std::unique_ptr<httplib::Server> api, time, files;
  std::unique_ptr<httplib::SSLServer> web, stock;
  std::vector<std::thread> threads;
  std::map<Host, int> ports;

  std::string Base(Host host) const {
    bool secure = host == Host::Web || host == Host::Stock;
    return std::string(secure ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(ports.at(host));
  }

  std::string ExpandAddresses(std::string text) const {
    ReplaceAll(text, "{api}", Base(Host::Api));
    ReplaceAll(text, "{web}", Base(Host::Web) + "/");
    ReplaceAll(text, "{stock}", Base(Host::Stock) + "/");
    ReplaceAll(text, "{time}", Base(Host::Time) + "/");
    ReplaceAll(text, "{files}", Base(Host::Files));
    return text;
  }

  // Waits up to `ms`; false when the service is stopping.
  bool Pause(int ms) {
    std::unique_lock lock(stopMutex);
    return !stopSignal.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
  }

  bool Stopping() {
    std::lock_guard lock(stopMutex);
    return stopping;
  }

  // ---- recording and log ----

  void Record(Host host, const httplib::Request& req) {
    RecordedRequest r;
    r.host = host;
    r.method = req.method;
    std::size_t question = req.target.find('?');
    r.path = req.target.substr(0, question);
    if (question != std::string::npos) r.rawQuery = req.target.substr(question + 1);
    for (const auto& [key, value] : req.params) r.params.emplace_back(key, value);
    for (const auto& [key, value] : req.headers) r.headers.emplace_back(key, value);
    std::lock_guard lock(mutex);
    auto key = std::make_pair(host, r.path);
    ++hits[key];
    lastIndex[key] = requests.size();
    requests.push_back(std::move(r));
  }

  void Log(Host host, const httplib::Request& req, const httplib::Response& res) {
    std::size_t bytes = res.content_length_ > 0 ? res.content_length_ : res.body.size();
    std::string line = ClockText() + " " + HostName(host) + " " + req.remote_addr + " " +
                       req.method + " " + req.target + " -> " + std::to_string(res.status) + " (" +
                       std::to_string(bytes) + " bytes)";
    std::lock_guard logLock(logMutex);
    {
      std::lock_guard lock(mutex);
      logLines.push_back(line);
    }
    if (options.logSink) options.logSink(line);
  }

  // ---- API host ----

  static void Json(httplib::Response& res, const std::string& json) {
    res.set_content(json, kJsonType);
  }

  const Account* FindAccount(const std::string& user) const {
    for (const auto& a : fixture.accounts) {
      if (a.user == user) return &a;
    }
    return nullptr;
  }

  // The client sends passwords as typed in GBK; a UTF-8 form is accepted as well.
  static bool SameSecret(const std::string& sent, const std::string& utf8) {
    return sent == utf8 || sent == Utf8ToGbk(utf8);
  }

  void Login(const httplib::Request& req, httplib::Response& res) {
    std::string user = req.get_param_value("user");
    std::string pass = req.get_param_value("pass");
    auto refuse = [&](int code, const std::string& info) {
      Json(res, "{\"code\":" + std::to_string(code) + ",\"info\":" + JsonString(info) +
                    ",\"data\":null}");
    };
    std::lock_guard lock(mutex);
    if (user.empty() || pass.empty()) return refuse(400, "用户名或密码不能为空");
    const Account* a = FindAccount(user);
    if (a == nullptr) return refuse(404, "用户不存在");
    if (!SameSecret(pass, a->password)) return refuse(401, "密码错误");
    if (!a->info.empty()) return refuse(403, a->info);
    std::string data = "{\"password\":" + JsonString(a->token);
    auto add = [&](const char* name, const std::string& json) {
      if (!json.empty()) data += std::string(",\"") + name + "\":" + json;
    };
    add("vip", a->vip);
    add("vip_g", a->vipG);
    add("Integral", a->integral);
    add("nickname", a->nickname);
    add("points", a->points);
    data += "}";
    std::string code = a->code.empty() ? "200" : a->code;
    Json(res, "{\"code\":" + code + ",\"info\":\"登陆成功\",\"data\":" + data + "}");
  }

  void Parse(const httplib::Request& req, httplib::Response& res) {
    std::string id = req.get_param_value("id");
    std::string user = req.get_param_value("user");
    std::string pass = req.get_param_value("pass");
    auto answer = [&](const std::string& stateJson, const std::string& msg) {
      Json(res, "{\"state\":" + stateJson + ",\"msg\":" + JsonString(msg) + "}");
    };
    std::lock_guard lock(mutex);
    const Account* a = FindAccount(user);
    if (a == nullptr || !a->info.empty() || !SameSecret(pass, a->token)) {
      return answer("\"3\"", "登陆信息已失效，请重新登陆");
    }
    auto r = std::find_if(fixture.resources.begin(), fixture.resources.end(),
                          [&](const Resource& x) { return x.id == id; });
    if (id.empty() || r == fixture.resources.end()) {
      return answer("\"2\"", "未找到该素材，请检查素材地址是否正确");
    }
    if (!r->refusal.empty()) return answer("\"2\"", r->refusal);
    int& given = parseAnswers[r->id];
    if (given++ < r->notReady) return answer("\"1\"", r->notReadyMsg);
    answer(r->readyState.empty() ? "\"0\"" : r->readyState,
           Base(Host::Files) + DownloadPath(r->id));
  }

  void Version(httplib::Response& res) {
    std::lock_guard lock(mutex);
    const VersionAnswer& v = fixture.version;
    if (!v.raw.empty()) {
      res.set_content(ExpandAddresses(v.raw), kHtmlType);
      return;
    }
    std::string json = "{";
    auto add = [&](const char* name, const std::string& value) {
      if (value.empty()) return;
      if (json.size() > 1) json += ",";
      json += std::string("\"") + name + "\":" + value;
    };
    add("state", v.state);
    add("version", v.version);
    add("versionURL", v.versionUrl);
    add("msg", v.msg);
    Json(res, ExpandAddresses(json + "}"));
  }

  // ---- web host and stock site ----

  void WebHome(const httplib::Request& req, httplib::Response& res) {
    if (req.has_param("user")) {
      res.set_content(UserPage(), kHtmlType);
    } else {
      res.set_content(WebHomePage(), kHtmlType);
    }
  }

  void StockPage(const httplib::Request& req, httplib::Response& res) {
    std::string id = req.matches[1];
    std::lock_guard lock(mutex);
    auto r = std::find_if(fixture.resources.begin(), fixture.resources.end(),
                          [&](const Resource& x) { return x.id == id; });
    if (r == fixture.resources.end()) {
      res.status = 404;
      res.set_content(NotFoundPage(), kHtmlType);
    } else if (r->tooFrequent) {
      res.set_content(TooFrequentPage(), kHtmlType);
    } else {
      res.set_content(StockResourcePage(*r), kHtmlType);
    }
  }

  // ---- file host ----

  static std::string DownloadPath(const std::string& id) { return "/down/" + id + ".zip"; }

  // One place decides how a file goes out, so that a new fault is one more case here.
  void ServeFile(const std::string& name, std::int64_t size, const FileBehaviour& b,
                 httplib::Response& res) {
    const char* type = "application/octet-stream";
    switch (b.kind) {
      case FileKind::Normal:
        res.set_content_provider(
            static_cast<std::size_t>(size), type,
            [name](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
              auto n = std::min<std::int64_t>(static_cast<std::int64_t>(length), kPieceBytes);
              std::string piece = FileBytes(name, static_cast<std::int64_t>(offset), n);
              return sink.write(piece.data(), piece.size());
            });
        return;
      case FileKind::NoLength:
        res.set_chunked_content_provider(
            type, [name, size](std::size_t offset, httplib::DataSink& sink) {
              auto at = static_cast<std::int64_t>(offset);
              if (at >= size) {
                sink.done();
                return true;
              }
              std::string piece = FileBytes(name, at, std::min(kPieceBytes, size - at));
              return sink.write(piece.data(), piece.size());
            });
        return;
      case FileKind::Status:
        res.status = b.status;
        res.set_content(ErrorStatusPage(b.status), kHtmlType);
        return;
      case FileKind::Cut:
        res.set_content_provider(
            static_cast<std::size_t>(size), type,
            [name, cutAt = b.cutAt](std::size_t offset, std::size_t length,
                                    httplib::DataSink& sink) {
              auto at = static_cast<std::int64_t>(offset);
              if (at >= cutAt) return false;  // closes the connection midway
              auto n = std::min({static_cast<std::int64_t>(length), kPieceBytes, cutAt - at});
              std::string piece = FileBytes(name, at, n);
              return sink.write(piece.data(), piece.size());
            });
        return;
      case FileKind::Slow:
        res.set_content_provider(
            static_cast<std::size_t>(size), type,
            [this, name, b](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
              if (offset > 0 && !Pause(b.chunkDelayMs)) return false;
              auto n = std::min(static_cast<std::int64_t>(length),
                                std::max<std::int64_t>(b.chunkBytes, 1));
              std::string piece = FileBytes(name, static_cast<std::int64_t>(offset), n);
              return sink.write(piece.data(), piece.size());
            });
        return;
    }
  }

  void File(const httplib::Request& req, httplib::Response& res) {
    std::string path = req.target.substr(0, req.target.find('?'));
    std::string name;
    std::int64_t size = 0;
    FileBehaviour behaviour;
    {
      std::lock_guard lock(mutex);
      bool found = false;
      for (const auto& r : fixture.resources) {
        if (path == DownloadPath(r.id)) {
          name = r.id + ".zip";
          size = r.size;
          behaviour = r.file;
          found = true;
        }
      }
      for (const auto& f : fixture.files) {
        if (path == f.path) {
          name = f.path.substr(f.path.rfind('/') + 1);
          size = f.size;
          behaviour = f.behaviour;
          found = true;
        }
      }
      if (!found) {
        res.status = 404;
        res.set_content(NotFoundPage(), kHtmlType);
        return;
      }
    }
    ServeFile(name, size, behaviour, res);
  }

  // ---- set-up ----

  void Common(httplib::Server& server, Host host) {
    server.set_tcp_nodelay(true);
    // httplib's default SO_REUSEPORT would let a second stand-in share a port and take half of
    // the requests; SO_REUSEADDR alone still allows a quick restart.
    server.set_socket_options([](socket_t sock) {
      int yes = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Short enough that Stop() never waits long for an idle connection.
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(2, 0);
    server.set_pre_routing_handler([this, host](const httplib::Request& req, httplib::Response&) {
      Record(host, req);
      return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty() && !res.content_length_) {
        res.set_content(res.status == 404 ? NotFoundPage() : ErrorStatusPage(res.status),
                        kHtmlType);
      }
    });
    server.set_post_routing_handler(
        [this, host](const httplib::Request& req, httplib::Response& res) {
          std::string date;
          if (host == Host::Time) {
            std::lock_guard lock(mutex);
            date = fixture.fixedDate;
          }
          if (date.empty()) date = HttpDate(std::time(nullptr));
          res.set_header("Date", date);
          res.set_header("Server", "nginx");
          Log(host, req, res);
        });
  }

  void Routes() {
    api->Get("/login.php", [this](const auto& req, auto& res) { Login(req, res); });
    api->Get("/sucai.php", [this](const auto& req, auto& res) { Parse(req, res); });
    api->Get("/version.php", [this](const auto&, auto& res) { Version(res); });

    web->Get("/", [this](const auto& req, auto& res) { WebHome(req, res); });
    web->Get("/gg/index.html",
             [](const auto&, auto& res) { res.set_content(NewsPageGbk(), "text/html"); });

    stock->Get("/", [this](const auto&, auto& res) {
      std::lock_guard lock(mutex);
      res.set_content(StockHomePage(fixture.resources), kHtmlType);
    });
    stock->Get(R"(/sucai/([^/]+)\.html)",
               [this](const auto& req, auto& res) { StockPage(req, res); });

    time->Get("/", [](const auto&, auto& res) {
      res.set_content(
          "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>time</title>"
          "</head><body>It works.</body></html>\n",
          kHtmlType);
    });

    files->Get(".*", [this](const auto& req, auto& res) { File(req, res); });
  }

  bool Bind(httplib::Server& server, Host host, int port, std::string& error) {
    int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                          : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
      error = std::string(HostName(host)) + ": cannot listen on 127.0.0.1:" + std::to_string(port);
      return false;
    }
    ports[host] = bound;
    return true;
  }

  std::vector<httplib::Server*> Servers() const {
    return {api.get(), web.get(), stock.get(), time.get(), files.get()};
  }

  Host HostOf(const httplib::Server* server) const {
    if (server == web.get()) return Host::Web;
    if (server == stock.get()) return Host::Stock;
    if (server == time.get()) return Host::Time;
    if (server == files.get()) return Host::Files;
    return Host::Api;
  }

  void StopAll() {
    {
      std::lock_guard lock(stopMutex);
      stopping = true;
    }
    stopSignal.notify_all();
    for (httplib::Server* s : Servers()) {
      if (s != nullptr) s->stop();
    }
    for (auto& t : threads) {
      if (t.joinable()) t.join();
    }
    threads.clear();
  }
};

Service::Service(std::unique_ptr<State> state) : state_(std::move(state)) {}

Service::~Service() { Stop(); }

void Service::Stop() {
  if (state_) state_->StopAll();
}

std::unique_ptr<Service> Service::Start(Fixture fixture, const Options& options,
                                        std::string& error) {
  auto s = std::make_unique<State>();
  s->options = options;
  Ports ports = options.freePorts ? Ports{} : fixture.ports;
  s->fixture = std::move(fixture);
  try {
    const Certificate& certificate = SelfSignedCertificate();
    s->web = std::make_unique<httplib::SSLServer>(certificate.certificateFile.c_str(),
                                                  certificate.privateKeyFile.c_str());
    s->stock = std::make_unique<httplib::SSLServer>(certificate.certificateFile.c_str(),
                                                    certificate.privateKeyFile.c_str());
  } catch (const std::exception& e) {
    error = std::string("certificate: ") + e.what();
    return nullptr;
  }
  if (!s->web->is_valid() || !s->stock->is_valid()) {
    error = "the HTTPS servers do not accept the certificate";
    return nullptr;
  }
  s->api = std::make_unique<httplib::Server>();
  s->time = std::make_unique<httplib::Server>();
  s->files = std::make_unique<httplib::Server>();
  s->Common(*s->api, Host::Api);
  s->Common(*s->web, Host::Web);
  s->Common(*s->stock, Host::Stock);
  s->Common(*s->time, Host::Time);
  s->Common(*s->files, Host::Files);
  s->Routes();
  bool bound = s->Bind(*s->api, Host::Api, ports.api, error) &&
               s->Bind(*s->web, Host::Web, ports.web, error) &&
               s->Bind(*s->stock, Host::Stock, ports.stock, error) &&
               s->Bind(*s->time, Host::Time, ports.time, error) &&
               s->Bind(*s->files, Host::Files, ports.files, error);
  // Servers that did bind are run and stopped again on failure, which closes their sockets.
  for (httplib::Server* server : s->Servers()) {
    if (server->is_valid() && s->ports.count(s->HostOf(server)) != 0) {
      s->threads.emplace_back([server] { server->listen_after_bind(); });
    }
  }
  // stop() only takes effect once a server runs its accept loop, so wait for every one of them.
  for (httplib::Server* server : s->Servers()) {
    if (s->ports.count(s->HostOf(server)) == 0) continue;
    for (int i = 0; i < 5000 && !server->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  if (!bound) {
    s->StopAll();
    return nullptr;
  }
  return std::unique_ptr<Service>(new Service(std::move(s)));
}

std::string Service::ApiBase() const { return state_->Base(Host::Api); }
std::string Service::WebHome() const { return state_->Base(Host::Web) + "/"; }
std::string Service::StockHome() const { return state_->Base(Host::Stock) + "/"; }
std::string Service::TimeUrl() const { return state_->Base(Host::Time) + "/"; }
std::string Service::FilesBase() const { return state_->Base(Host::Files); }
int Service::Port(Host host) const { return state_->ports.at(host); }

std::string Service::StockPageUrl(std::string_view id) const {
  return StockHome() + "sucai/" + std::string(id) + ".html";
}

std::string Service::DownloadUrl(std::string_view id) const {
  return FilesBase() + State::DownloadPath(std::string(id));
}

int Service::Hits(Host host, std::string_view path) const {
  std::lock_guard lock(state_->mutex);
  auto it = state_->hits.find({host, std::string(path)});
  return it == state_->hits.end() ? 0 : it->second;
}

std::optional<RecordedRequest> Service::LastRequest(Host host, std::string_view path) const {
  std::lock_guard lock(state_->mutex);
  auto it = state_->lastIndex.find({host, std::string(path)});
  if (it == state_->lastIndex.end()) return std::nullopt;
  return state_->requests[it->second];
}

std::vector<RecordedRequest> Service::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::vector<std::string> Service::LogLines() const {
  std::lock_guard lock(state_->mutex);
  return state_->logLines;
}

void Service::ClearRecords() {
  std::lock_guard lock(state_->mutex);
  state_->requests.clear();
  state_->lastIndex.clear();
  state_->hits.clear();
  state_->logLines.clear();
}

void Service::SetAccount(const Account& account) {
  std::lock_guard lock(state_->mutex);
  auto& accounts = state_->fixture.accounts;
  auto it = std::find_if(accounts.begin(), accounts.end(),
                         [&](const Account& a) { return a.user == account.user; });
  if (it == accounts.end()) {
    accounts.push_back(account);
  } else {
    *it = account;
  }
}

void Service::SetResource(const Resource& resource) {
  std::lock_guard lock(state_->mutex);
  auto& resources = state_->fixture.resources;
  auto it = std::find_if(resources.begin(), resources.end(),
                         [&](const Resource& r) { return r.id == resource.id; });
  if (it == resources.end()) {
    resources.push_back(resource);
  } else {
    *it = resource;
  }
  state_->parseAnswers.erase(resource.id);
}

void Service::SetVersion(const VersionAnswer& version) {
  std::lock_guard lock(state_->mutex);
  state_->fixture.version = version;
}

void Service::SetFixedDate(const std::string& httpDate) {
  std::lock_guard lock(state_->mutex);
  state_->fixture.fixedDate = httpDate;
}

}  // namespace sucaigang::standin
