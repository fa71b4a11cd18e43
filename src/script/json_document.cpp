#include "script/json_document.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "script/json_support_script.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

// Script pieces are UTF-8; paths and values are converted from GBK before they are joined in.
// Texts read out turn the backslash substitute back into a backslash inside the engine. In a
// JSON text the backslash is written escaped, so the text stays JSON and reads back unchanged.
constexpr std::string_view kRestore = ".replace(str_reg, '\\\\')";
constexpr std::string_view kRestoreJson = ".replace(str_reg, '\\\\\\\\')";
constexpr std::string_view kValueSeparator = "[2020年7月20日20时0分0秒]";

// The JSON text of a value, as the engine reads it out.
std::string JsonOf(std::string_view expression) {
  return "JSON.stringify(" + std::string(expression) + ")" + std::string(kRestoreJson);
}

std::string Decimal(int32_t number) { return std::to_string(number); }

std::string Decimal(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number < 0 ? "-Infinity" : "Infinity";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
  return ec == std::errc() ? std::string(buffer, end) : "NaN";
}

int32_t Truncated(double number) {
  if (std::isnan(number)) return 0;
  if (number >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (number <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(number);
}

int32_t SplitInto(std::vector<Text>& pieces, std::string_view utf8, std::string_view separator) {
  pieces.clear();
  if (utf8.empty()) return 0;
  for (;;) {
    size_t at = utf8.find(separator);
    pieces.push_back(Utf8ToGbk(utf8.substr(0, at)));
    if (at == std::string_view::npos) break;
    utf8.remove_prefix(at + separator.size());
  }
  return static_cast<int32_t>(pieces.size());
}

// A script string literal in single quotes, each escape two characters.
std::string Quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 8);
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\'':
        out += "\\'";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

struct JsonDocument::Resolved {
  std::string expression;  // UTF-8
  size_t prefixLength = 0;
  bool found = false;
};

// Construction owes an Initialise that runs at first use: a flow's first step is Parse, which
// starts from a new engine anyway, and making an engine is the dearest step of a read.
JsonDocument::JsonDocument() : initialisePending_(true) {}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : engine_(std::move(other.engine_)),
      initialisePending_(std::exchange(other.initialisePending_, false)) {}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
  engine_ = std::move(other.engine_);
  initialisePending_ = std::exchange(other.initialisePending_, false);
  return *this;
}

JsonDocument JsonDocument::Copy() const {
  JsonDocument copy{NoEngine{}};
  copy.engine_ = Ready();
  return copy;
}

std::shared_ptr<ScriptEngine> JsonDocument::Engine() const { return Ready(); }

const std::shared_ptr<ScriptEngine>& JsonDocument::Ready() const {
  if (initialisePending_) const_cast<JsonDocument*>(this)->Initialise();
  return engine_;
}

void JsonDocument::Initialise() {
  initialisePending_ = false;
  engine_ = std::make_shared<ScriptEngine>();
  if (!engine_->Valid()) {
    engine_.reset();
    return;
  }
  engine_->AddCode(kJsonSupportScript);
  engine_->Eval("var " + std::string(variableName_) +
                " = {}, str_Code = String.fromCharCode(9216), str_reg = new RegExp(str_Code, 'g')");
}

bool JsonDocument::Parse(std::string_view text, bool asCode, ScriptError* error) {
  return ParseUtf8(GbkToUtf8(text), asCode, error);
}

bool JsonDocument::ParseUtf8(std::string_view text, bool asCode, ScriptError* error) {
  if (engine_ || initialisePending_) Initialise();
  return Load(text, asCode, error);
}

bool JsonDocument::Load(std::string_view text, bool asCode, ScriptError* error) {
  if (!engine_) return false;
  const std::string n(variableName_);
  engine_->Eval("var " + n + " = null");
  // Answers of the service travel over plain HTTP: they are parsed as JSON, never run.
  if (asCode) {
    engine_->AddCode("var " + n + " = " + std::string(text));
  } else {
    engine_->AssignJson(n, text);
  }
  if (error) *error = engine_->LastError();
  return engine_->EvalBool(n + " != null");
}

bool JsonDocument::Clear() { return EvalBool(std::string(variableName_) + " = {}"); }

Text JsonDocument::ToText() const { return EvalText(JsonOf(variableName_)); }

bool JsonDocument::SetMember(std::string_view path, std::string_view value, bool asObject) {
  Resolved p = Resolve(path);
  std::string v = GbkToUtf8(value);
  if (!asObject) {
    return EvalBool(p.expression + " = '" + Quoted(v) + "'.replace(/\\\\/g, str_Code)");
  }
  std::string w = v.empty() ? "{}" : v;
  Text tag = EvalText("Object.prototype.toString.call(" + p.expression + ")");
  if (p.found && tag == "[object Object]") {
    return EvalBool(p.expression + " = get__extend(" + p.expression + ", " + w + ")");
  }
  return EvalBool(p.expression + " = eval(" + v + ")");
}

bool JsonDocument::SetMemberScript(std::string_view path, std::string_view script) {
  return EvalBool(Resolve(path).expression + " = eval(" + GbkToUtf8(script) + ")");
}

JsonDocument::Resolved JsonDocument::Resolve(std::string_view path) const {
  std::string given = GbkToUtf8(path);
  const std::string n(variableName_);
  if (given.starts_with(n) && EvalBool(given + " != null")) return {given, 0, true};
  Resolved resolved;
  if (given.empty()) {
    resolved.expression = n;
  } else if (given.front() == '[') {
    resolved.expression = n + given;
  } else {
    resolved.expression = n + "." + given;
  }
  resolved.prefixLength = resolved.expression.size() - given.size();
  resolved.found = EvalBool(resolved.expression + " != null");
  return resolved;
}

bool JsonDocument::ResolvePath(Text& path) const {
  Resolved resolved = Resolve(path);
  path = resolved.expression.substr(0, resolved.prefixLength) + Text(UntilZero(path));
  return resolved.found;
}

bool JsonDocument::Exists(std::string_view path) const { return Resolve(path).found; }

JsonValueType JsonDocument::TypeOf(std::string_view path) const {
  Resolved p = Resolve(path);
  if (EvalBool(p.expression + " == null")) return kJsonNull;
  Text tag = EvalText("Object.prototype.toString.call(" + p.expression + ")");
  if (tag == "[object String]") return kJsonString;
  if (tag == "[object Array]") return kJsonArray;
  if (tag == "[object Object]") return kJsonObject;
  if (tag == "[object Number]") return kJsonNumber;
  if (tag == "[object Boolean]") return kJsonBoolean;
  return kJsonOther;
}

Text JsonDocument::GetText(std::string_view path, bool asJson) const {
  Resolved p = Resolve(path);
  if (asJson) return EvalText(JsonOf(p.expression));
  return EvalText(p.expression + ".toString()" + std::string(kRestore));
}

int32_t JsonDocument::MemberNames(std::vector<Text>& names, std::string_view path) const {
  Resolved p = Resolve(path);
  std::optional<std::string> joined;
  if (Ready()) joined = engine_->EvalText("get__name_All(" + p.expression + ")");
  return SplitInto(names, joined.value_or(""), "\r\n");
}

int32_t JsonDocument::Count(std::string_view path) const {
  if (!Ready()) return 0;
  Resolved p = Resolve(path);
  return Truncated(engine_->EvalNumber("get__count(" + p.expression + ")").value_or(0));
}

JsonDocument JsonDocument::CopyOf(std::string_view expression) const {
  std::optional<std::string> text;
  if (Ready()) {
    text = engine_->EvalText(JsonOf(expression));
  }
  // A parse in a new document: one fresh engine, as construction and Parse would leave it.
  JsonDocument copy{NoEngine{}};
  copy.Initialise();
  copy.Load(text.value_or(""), false, nullptr);
  return copy;
}

JsonDocument JsonDocument::GetObject(std::string_view path) const {
  return CopyOf(Resolve(path).expression);
}

bool JsonDocument::AddElement(std::string_view value, std::string_view path, bool raw,
                              bool atFront) {
  Resolved p = Resolve(path);
  std::string v = raw ? GbkToUtf8(value) : "'" + GbkToUtf8(value) + "'";
  return EvalBool("if (Object.prototype.toString.call(" + p.expression +
                  ") != '[object Array]') { " + p.expression + " = new Array() } " + p.expression +
                  (atFront ? ".unshift(" : ".push(") + v + ")");
}

JsonDocument JsonDocument::GetElementObject(int32_t index, std::string_view path) const {
  return CopyOf(Resolve(path).expression + "[" + Decimal(index) + "]");
}

Text JsonDocument::GetElementText(int32_t index, std::string_view path, bool asJson) const {
  Resolved p = Resolve(path);
  std::string element = p.expression + "[" + Decimal(index) + "]";
  if (asJson) return EvalText(JsonOf(element));
  return EvalText(element + std::string(kRestore));
}

bool JsonDocument::SetElement(int32_t index, std::string_view path, std::string_view value,
                              bool raw) {
  Resolved p = Resolve(path);
  std::string v = raw ? GbkToUtf8(value) : "'" + GbkToUtf8(value) + "'";
  return EvalBool(p.expression + "[" + Decimal(index) + "] = " + v);
}

bool JsonDocument::RemoveElement(int32_t index, std::string_view path) {
  return EvalBool(Resolve(path).expression + ".splice(" + Decimal(index) + ", 1)");
}

bool JsonDocument::DeleteMember(std::string_view path) {
  return EvalBool("delete " + Resolve(path).expression);
}

bool JsonDocument::SetNumber(std::string_view path, double number) {
  return EvalBool(Resolve(path).expression + " = " + Decimal(number));
}

double JsonDocument::GetNumber(std::string_view path) const {
  if (!Ready()) return 0;
  return engine_->EvalNumber(Resolve(path).expression).value_or(0);
}

Text JsonDocument::GetJson(std::string_view path) const {
  return EvalText(JsonOf(Resolve(path).expression));
}

int32_t JsonDocument::AllValues(std::vector<Text>& values, std::string_view path,
                                bool recursive) const {
  Resolved p = Resolve(path);
  std::optional<std::string> joined;
  if (Ready()) {
    engine_->Eval("var str_all = new Array()");
    engine_->Eval("get__nodeValue(" + p.expression + ", " + (recursive ? "true" : "false") + ")");
    joined = engine_->EvalText("str_all.join('" + std::string(kValueSeparator) + "')");
  }
  return SplitInto(values, joined.value_or(""), kValueSeparator);
}

Text JsonDocument::EvalText(std::string_view code) const {
  if (!Ready()) return {};
  std::optional<std::string> text = engine_->EvalText(code);
  return text ? Utf8ToGbk(*text) : Text();
}

bool JsonDocument::EvalBool(std::string_view code) const {
  return Ready() && engine_->EvalBool(code);
}

}  // namespace sucaigang
