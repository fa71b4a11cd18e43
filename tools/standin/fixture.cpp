#include "standin/fixture.h"

#include <duktape.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

namespace sucaigang::standin {

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          static const char hex[] = "0123456789abcdef";
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

struct HeapDeleter {
  void operator()(duk_context* ctx) const { duk_destroy_heap(ctx); }
};
using Heap = std::unique_ptr<duk_context, HeapDeleter>;

// Only the decode may throw; it runs inside a safe call with no C++ objects on the way.
duk_ret_t DecodeTop(duk_context* ctx, void*) {
  duk_json_decode(ctx, -1);
  return 1;
}

// Reads the object on top of the stack. The Duktape calls used here never throw on values that
// came out of JSON.parse, because a property is only read from an object.
class Reader {
 public:
  explicit Reader(duk_context* ctx) : ctx_(ctx) {}

  bool IsObject(duk_idx_t index = -1) const {
    return duk_is_object(ctx_, index) && !duk_is_array(ctx_, index);
  }

  // Pushes the member (undefined when missing); pop it with Pop().
  bool Enter(const char* key) {
    duk_get_prop_string(ctx_, -1, key);
    if (duk_is_undefined(ctx_, -1) || duk_is_null(ctx_, -1)) {
      duk_pop(ctx_);
      return false;
    }
    return true;
  }
  void Pop() { duk_pop(ctx_); }

  bool Has(const char* key) {
    if (!Enter(key)) return false;
    Pop();
    return true;
  }

  // A string as its UTF-8 text; numbers and booleans in their JSON form.
  std::string TopText() {
    if (!duk_is_string(ctx_, -1)) return JsonOfTop();
    duk_size_t length = 0;
    const char* data = duk_get_lstring(ctx_, -1, &length);
    return std::string(data, length);
  }

  bool Text(const char* key, std::string& out) {
    if (!Enter(key)) return false;
    out = TopText();
    Pop();
    return true;
  }

  // Any member kept as its JSON text.
  bool Json(const char* key, std::string& out) {
    if (!Enter(key)) return false;
    out = JsonOfTop();
    Pop();
    return true;
  }

  bool Number(const char* key, double& out) {
    if (!Enter(key)) return false;
    bool ok = duk_is_number(ctx_, -1);
    if (ok) out = duk_get_number(ctx_, -1);
    Pop();
    return ok;
  }

  bool Integer(const char* key, std::int64_t& out, std::string& error) {
    double value = 0;
    if (!Has(key)) return true;
    if (!Number(key, value) || value != std::floor(value) || value < 0) {
      error = std::string("\"") + key + "\" must be a whole number of 0 or more";
      return false;
    }
    out = static_cast<std::int64_t>(value);
    return true;
  }

  bool Integer(const char* key, int& out, std::string& error) {
    std::int64_t value = out;
    if (!Integer(key, value, error)) return false;
    out = static_cast<int>(value);
    return true;
  }

  bool Bool(const char* key, bool& out) {
    if (!Enter(key)) return false;
    out = duk_to_boolean(ctx_, -1) != 0;
    Pop();
    return true;
  }

  // Calls each(index) with every element of the array member `key` on top of the stack.
  template <class Each>
  bool Array(const char* key, std::string& error, Each each) {
    if (!Enter(key)) return true;
    if (!duk_is_array(ctx_, -1)) {
      error = std::string("\"") + key + "\" must be an array";
      Pop();
      return false;
    }
    duk_size_t count = duk_get_length(ctx_, -1);
    for (duk_size_t i = 0; i < count; ++i) {
      duk_get_prop_index(ctx_, -1, static_cast<duk_uarridx_t>(i));
      bool ok = each(i);
      Pop();
      if (!ok) {
        Pop();
        return false;
      }
    }
    Pop();
    return true;
  }

 private:
  std::string JsonOfTop() {
    duk_dup(ctx_, -1);
    const char* json = duk_json_encode(ctx_, -1);
    std::string out = json != nullptr ? json : "";
    duk_pop(ctx_);
    return out;
  }

  duk_context* ctx_;
};

bool ReadBehaviour(Reader& r, FileBehaviour& b, std::string& error) {
  std::string kind;
  if (r.Text("kind", kind)) {
    if (kind == "normal") {
      b.kind = FileKind::Normal;
    } else if (kind == "noLength") {
      b.kind = FileKind::NoLength;
    } else if (kind == "status") {
      b.kind = FileKind::Status;
    } else if (kind == "cut") {
      b.kind = FileKind::Cut;
    } else if (kind == "slow") {
      b.kind = FileKind::Slow;
    } else {
      error = "unknown file kind \"" + kind + "\"";
      return false;
    }
  }
  return r.Integer("status", b.status, error) && r.Integer("cutAt", b.cutAt, error) &&
         r.Integer("chunkBytes", b.chunkBytes, error) &&
         r.Integer("chunkDelayMs", b.chunkDelayMs, error);
}

bool ReadAccount(Reader& r, Account& a, std::string& error) {
  if (!r.IsObject() || !r.Text("user", a.user)) {
    error = "an account needs \"user\"";
    return false;
  }
  r.Text("password", a.password);
  r.Text("info", a.info);
  a.token = a.password;
  r.Text("token", a.token);
  r.Json("code", a.code);
  r.Json("vip", a.vip);
  r.Json("vip_g", a.vipG);
  r.Json("Integral", a.integral);
  a.nickname = JsonString(a.user);
  r.Json("nickname", a.nickname);
  r.Json("points", a.points);
  return true;
}

bool ReadResource(Reader& r, Resource& res, std::string& error) {
  if (!r.IsObject() || !r.Text("id", res.id)) {
    error = "a resource needs \"id\"";
    return false;
  }
  r.Text("title", res.title);
  r.Text("notReadyMsg", res.notReadyMsg);
  r.Text("refusal", res.refusal);
  r.Bool("tooFrequent", res.tooFrequent);
  r.Bool("emptyPicId", res.emptyPicId);
  r.Json("readyState", res.readyState);
  if (!r.Integer("size", res.size, error) || !r.Integer("notReady", res.notReady, error)) {
    return false;
  }
  if (!r.Array("related", error, [&](duk_size_t) {
        res.related.push_back(r.TopText());
        return true;
      })) {
    return false;
  }
  if (r.Enter("file")) {
    bool ok = ReadBehaviour(r, res.file, error);
    r.Pop();
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool ParseFixture(std::string_view json, Fixture& fixture, std::string& error) {
  Heap heap(duk_create_heap_default());
  duk_context* ctx = heap.get();
  if (ctx == nullptr) {
    error = "no script heap";
    return false;
  }
  duk_push_lstring(ctx, json.data(), json.size());
  if (duk_safe_call(ctx, DecodeTop, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
    error = std::string("not JSON: ") + duk_safe_to_string(ctx, -1);
    return false;
  }
  Reader r(ctx);
  if (!r.IsObject()) {
    error = "a fixture is a JSON object";
    return false;
  }
  Fixture f;
  bool ok = r.Array("accounts", error, [&](duk_size_t) {
    f.accounts.emplace_back();
    return ReadAccount(r, f.accounts.back(), error);
  }) && r.Array("resources", error, [&](duk_size_t) {
    f.resources.emplace_back();
    return ReadResource(r, f.resources.back(), error);
  }) && r.Array("files", error, [&](duk_size_t) {
    File file;
    if (!r.IsObject() || !r.Text("path", file.path) || file.path.empty() || file.path[0] != '/') {
      error = "a file needs a \"path\" starting with /";
      return false;
    }
    if (!r.Integer("size", file.size, error) || !ReadBehaviour(r, file.behaviour, error)) {
      return false;
    }
    f.files.push_back(std::move(file));
    return true;
  });
  if (!ok) return false;
  for (const auto& res : f.resources) {
    // The identifier appears in a page address and in a file name.
    if (res.id.empty() || res.id.find_first_of("/?#%\\ \"") != std::string::npos) {
      error = "a resource id must be a plain name: \"" + res.id + "\"";
      return false;
    }
  }
  if (r.Enter("version")) {
    r.Json("state", f.version.state);
    r.Json("version", f.version.version);
    r.Json("versionURL", f.version.versionUrl);
    r.Json("msg", f.version.msg);
    r.Text("raw", f.version.raw);
    r.Pop();
  }
  if (r.Enter("ports")) {
    ok = r.Integer("api", f.ports.api, error) && r.Integer("web", f.ports.web, error) &&
         r.Integer("stock", f.ports.stock, error) && r.Integer("time", f.ports.time, error) &&
         r.Integer("files", f.ports.files, error);
    r.Pop();
    if (!ok) return false;
  }
  if (r.Enter("time")) {
    r.Text("date", f.fixedDate);
    r.Pop();
  }
  fixture = std::move(f);
  return true;
}

bool LoadFixture(const std::string& path, Fixture& fixture, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseFixture(text.str(), fixture, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace sucaigang::standin
