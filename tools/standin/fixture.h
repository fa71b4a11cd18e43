#pragma once
// What the stand-in service knows: accounts, resources, files, the version answer and its ports.
// Read from a JSON file (fixtures/*.json) or built in code by tests.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sucaigang::standin {

// Answer fields are kept as JSON texts, so that a fixture can answer the number 200 as well as the
// string "200". An empty text leaves the field out of the answer.
std::string JsonString(std::string_view utf8);

// Every member has an initializer ({} at least), so that designated initializers that leave
// members out stay free of missing-initializer warnings.

// How the file host sends a file; the fault kinds play a broken server.
enum class FileKind {
  Normal,    // status 200 (206 for a range), Content-Length, the whole body
  NoLength,  // chunked, no Content-Length
  Status,    // `status` with a short HTML body instead of the file
  Cut,       // Content-Length of the whole file, then the connection closes after `cutAt` bytes
  Slow,      // Content-Length, the body in `chunkBytes` pieces `chunkDelayMs` apart
};

struct FileBehaviour {
  FileKind kind = FileKind::Normal;
  int status = 404;
  std::int64_t cutAt = 0;
  std::int64_t chunkBytes = 16384;
  int chunkDelayMs = 100;
};

struct Account {
  std::string user{};      // the name typed into the client, UTF-8
  std::string password{};  // as typed, UTF-8 (also accepted in its GBK bytes)
  std::string info{};      // not empty: every login is refused with this reason
  std::string token{};     // `data.password`: what later parse requests must carry
  // JSON texts of the answer fields.
  std::string code = "200";
  std::string vip = "\"0\"";
  std::string vipG = "\"0\"";
  std::string integral = "\"0\"";
  std::string nickname{};
  std::string points = "\"0\"";
};

struct Resource {
  std::string id{};
  std::string title{};
  std::int64_t size = 1024;
  int notReady = 0;  // "not ready" answers before the download address
  std::string notReadyMsg = "资源正在准备中，请稍后……";
  std::string refusal{};               // not empty: the parse request is refused with this msg
  bool tooFrequent = false;            // its stock page refuses the visitor instead
  bool emptyPicId = false;             // its stock page carries an empty identifier
  std::vector<std::string> related{};  // identifiers shown further down its page
  std::string readyState = "\"0\"";    // JSON text of `state` in the ready answer
  FileBehaviour file{};
};

// A file of the file host other than a resource's, e.g. a new program version.
struct File {
  std::string path{};  // starts with "/"
  std::int64_t size = 0;
  FileBehaviour behaviour{};
};

// JSON texts of the version answer; `raw`, when not empty, is sent instead of JSON.
// "{files}", "{api}", "{web}", "{stock}" and "{time}" in an answer become the running addresses.
struct VersionAnswer {
  std::string state = "\"0\"";
  std::string version = "\"20230201\"";
  std::string versionUrl = "\"\"";
  std::string msg = "\"\"";
  std::string raw{};
};

// 0 = a free port, chosen when listening.
struct Ports {
  int api = 0;
  int web = 0;
  int stock = 0;
  int time = 0;
  int files = 0;
};

struct Fixture {
  std::vector<Account> accounts{};
  std::vector<Resource> resources{};
  std::vector<File> files{};
  VersionAnswer version{};
  Ports ports{};
  std::string fixedDate{};  // the time site's Date value; empty = the clock's
};

// False with a reason in `error` when the text is not a fixture.
bool ParseFixture(std::string_view json, Fixture& fixture, std::string& error);
bool LoadFixture(const std::string& path, Fixture& fixture, std::string& error);

}  // namespace sucaigang::standin
