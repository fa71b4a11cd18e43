#pragma once
// A private JavaScript engine: one Duktape heap, used only on the thread that made it.
// Script texts go in as UTF-8 and texts come back as UTF-8 (characters above U+FFFF as real
// four-byte sequences, never as Duktape's surrogate halves). Nothing throws: a failed call
// gives std::nullopt or false and leaves the engine usable, with the failure in LastError().
//
//   ScriptEngine engine;
//   engine.AddCode("function twice(x) { return x * 2 }");
//   std::optional<std::string> six = engine.EvalText("twice(3)");  // "6"
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

struct duk_hthread;

namespace sucaigang {

// The engine's last error, in the eight fields of the script control's "Error" object.
// number 0 means no error.
struct ScriptError {
  int32_t number = 0;
  Text source;
  Text description;
  Text helpFile;
  int32_t helpContext = 0;
  Text text;
  int32_t line = 0;
  int32_t column = 0;
};

class ScriptEngine {
 public:
  ScriptEngine();
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // False when the heap could not be made; every call then fails.
  bool Valid() const { return context_ != nullptr; }

  // Runs code as a program in the global scope (its var and function declarations stay).
  bool AddCode(std::string_view utf8Code);
  // Evaluates code as a global eval; the kinds follow the script control's conversions:
  // undefined gives an empty text, null has no text form, a number's text is its script text.
  bool Eval(std::string_view utf8Code);
  std::optional<std::string> EvalText(std::string_view utf8Code);
  std::optional<double> EvalNumber(std::string_view utf8Code);
  // False when the evaluation fails or the value has no boolean form.
  bool EvalBool(std::string_view utf8Code);
  // Sets the global `name` to the value of a JSON text, with the engine's JSON parser: nothing
  // but JSON is accepted. An empty text sets it to undefined, as evaluating no expression would.
  bool AssignJson(std::string_view name, std::string_view utf8Json);

  const ScriptError& LastError() const { return lastError_; }

  // One call's arguments and results (internal).
  enum class Kind { kNone, kText, kNumber, kBool };
  struct Call;

 private:
  struct HeapCloser {
    void operator()(duk_hthread* context) const;
  };

  bool Run(Call& call, std::string* text);

  std::unique_ptr<duk_hthread, HeapCloser> context_;
  ScriptError lastError_;
};

// Duktape hands strings out in CESU-8 (each surrogate of a character above U+FFFF encoded on
// its own); this gives real UTF-8, with a lone surrogate as U+FFFD.
std::string Cesu8ToUtf8(std::string_view cesu8);

}  // namespace sucaigang
