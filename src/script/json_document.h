#pragma once
// One JSON document held in a private script engine, read and changed by path. A path is a
// script expression relative to the document (code, data.nickname, data['vip_g'], list[2].name,
// [0]); the empty path is the whole document. Failures give false, 0 or empty Text and leave
// the object usable. Construct, use and destroy an object on one thread.
//
//   JsonDocument answer;
//   answer.Parse(Utf8ToGbk(body));                       // JSON only; false leaves it null
//   bool accepted = answer.GetObject("code").ToText() == "200";
//   Text nickname = answer.GetText("data.nickname");     // empty when missing or null
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "script/script_engine.h"
#include "text/text.h"

namespace sucaigang {

// Result of TypeOf; there is no code 3.
enum JsonValueType : int32_t {
  kJsonOther = -1,
  kJsonNull = 0,
  kJsonBoolean = 1,
  kJsonNumber = 2,
  kJsonObject = 4,
  kJsonArray = 5,
  kJsonString = 6,
};

class JsonDocument {
 public:
  JsonDocument();
  ~JsonDocument() = default;
  // A moved-from object is left without an engine.
  JsonDocument(JsonDocument&& other) noexcept;
  JsonDocument& operator=(JsonDocument&& other) noexcept;
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;

  // Shares this object's engine: both see and change one document.
  JsonDocument Copy() const;
  // A new engine with the support script loaded and the document an empty object.
  void Initialise();
  // Starts from a new engine. By default only a JSON text becomes the document (any other text
  // leaves it null, the empty text leaves it undefined); `asCode` evaluates the caller's own
  // script instead. `error` receives the engine's last error (number 0: none).
  bool Parse(std::string_view text, bool asCode = false, ScriptError* error = nullptr);
  bool Clear();
  Text ToText() const;
  // Text form (asObject false) stores the value as a string; object form merges into an object
  // member or evaluates the value as script.
  bool SetMember(std::string_view path, std::string_view value, bool asObject = false);
  bool SetMemberScript(std::string_view path, std::string_view script);
  // Turns `path` into the full expression the engine evaluates; true when it names a value
  // that is neither missing nor null.
  bool ResolvePath(Text& path) const;
  bool Exists(std::string_view path = {}) const;
  JsonValueType TypeOf(std::string_view path = {}) const;
  Text GetText(std::string_view path = {}, bool asJson = false) const;
  int32_t MemberNames(std::vector<Text>& names, std::string_view path = {}) const;
  int32_t Count(std::string_view path = {}) const;
  // An independent document holding a copy of the member.
  JsonDocument GetObject(std::string_view path = {}) const;
  bool AddElement(std::string_view value, std::string_view path = {}, bool raw = false,
                  bool atFront = false);
  JsonDocument GetElementObject(int32_t index, std::string_view path = {}) const;
  Text GetElementText(int32_t index, std::string_view path = {}, bool asJson = false) const;
  bool SetElement(int32_t index, std::string_view path, std::string_view value, bool raw = false);
  bool RemoveElement(int32_t index, std::string_view path = {});
  bool DeleteMember(std::string_view path);
  bool SetNumber(std::string_view path, double number);
  double GetNumber(std::string_view path = {}) const;
  Text GetJson(std::string_view path = {}) const;
  std::shared_ptr<ScriptEngine> Engine() const;
  // Every string, number and boolean member (of nested objects and arrays too when
  // `recursive`), as Text.
  int32_t AllValues(std::vector<Text>& values, std::string_view path = {},
                    bool recursive = false) const;

 private:
  struct NoEngine {};
  explicit JsonDocument(NoEngine) {}
  const std::shared_ptr<ScriptEngine>& Ready() const;
  struct Resolved;
  Resolved Resolve(std::string_view path) const;
  bool ParseUtf8(std::string_view text, bool asCode, ScriptError* error);
  bool Load(std::string_view text, bool asCode, ScriptError* error);
  Text EvalText(std::string_view code) const;
  bool EvalBool(std::string_view code) const;
  JsonDocument CopyOf(std::string_view expression) const;

  std::string_view variableName_ = "da";
  std::shared_ptr<ScriptEngine> engine_;
  bool initialisePending_ = false;
};

}  // namespace sucaigang
