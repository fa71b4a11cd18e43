#include "script/script_engine.h"

#include <duktape.h>

#include <cmath>
#include <cstring>

#include "text/encoding.h"

namespace sucaigang {

// Duktape reports errors with longjmp: the routines run inside duk_safe_call hold no C++
// object that needs destroying, and hand their results back through plain fields.
struct ScriptEngine::Call {
  enum class Mode { kProgram, kEval, kJson };
  Mode mode = Mode::kEval;
  Kind kind = Kind::kNone;
  std::string_view code{};
  std::string_view name{};
  bool compiled = false;
  bool converted = false;  // the value had a form of the requested kind
  bool isText = false;     // the text result is left on the value stack
  double number = 0;
  bool boolean = false;
};

namespace {

using Call = ScriptEngine::Call;

void ConvertResult(duk_context* ctx, Call& call) {
  call.converted = false;
  if (call.kind == ScriptEngine::Kind::kNone) return;
  int type = duk_get_type(ctx, -1);
  if (type == DUK_TYPE_NULL) return;
  switch (call.kind) {
    case ScriptEngine::Kind::kText:
      if (type == DUK_TYPE_UNDEFINED) {
        duk_pop(ctx);
        duk_push_string(ctx, "");
      } else {
        duk_to_string(ctx, -1);
      }
      call.isText = true;
      call.converted = true;
      return;
    case ScriptEngine::Kind::kNumber:
      if (type == DUK_TYPE_UNDEFINED) {
        call.number = 0;
      } else if (type == DUK_TYPE_BOOLEAN) {
        call.number = duk_get_boolean(ctx, -1) ? 1 : 0;
      } else if (type == DUK_TYPE_NUMBER) {
        call.number = duk_get_number(ctx, -1);
      } else if (type == DUK_TYPE_STRING) {
        call.number = duk_to_number(ctx, -1);
        if (std::isnan(call.number)) return;
      } else {
        return;
      }
      call.converted = true;
      return;
    case ScriptEngine::Kind::kBool:
      if (type == DUK_TYPE_BOOLEAN) {
        call.boolean = duk_get_boolean(ctx, -1);
      } else if (type == DUK_TYPE_NUMBER) {
        double n = duk_get_number(ctx, -1);
        call.boolean = n != 0 && !std::isnan(n);
      } else if (type == DUK_TYPE_STRING) {
        duk_size_t size = 0;
        const char* s = duk_get_lstring(ctx, -1, &size);
        if (size == 4 && strncasecmp(s, "true", 4) == 0) {
          call.boolean = true;
        } else if (size == 5 && strncasecmp(s, "false", 5) == 0) {
          call.boolean = false;
        } else {
          double n = duk_to_number(ctx, -1);
          if (std::isnan(n) || size == 0) return;
          call.boolean = n != 0;
        }
      } else {
        return;
      }
      call.converted = true;
      return;
    case ScriptEngine::Kind::kNone:
      return;
  }
}

duk_ret_t RunSafely(duk_context* ctx, void* udata) {
  Call& call = *static_cast<Call*>(udata);
  if (call.mode == Call::Mode::kJson) {
    duk_push_global_object(ctx);
    if (call.code.empty()) {
      duk_push_undefined(ctx);
    } else {
      duk_push_lstring(ctx, call.code.data(), call.code.size());
      duk_json_decode(ctx, -1);
    }
    duk_put_prop_lstring(ctx, -2, call.name.data(), call.name.size());
    duk_pop(ctx);
    duk_push_undefined(ctx);
    return 1;
  }
  duk_uint_t flags = DUK_COMPILE_NOFILENAME;
  if (call.mode == Call::Mode::kEval) flags |= DUK_COMPILE_EVAL;
  duk_compile_lstring(ctx, flags, call.code.data(), call.code.size());
  call.compiled = true;
  duk_call(ctx, 0);
  ConvertResult(ctx, call);
  return 1;
}

struct ErrorFields {
  duk_errcode_t code = 0;
  double line = 0;
};

// Leaves the description text on the stack.
duk_ret_t ReadErrorSafely(duk_context* ctx, void* udata) {
  ErrorFields& fields = *static_cast<ErrorFields*>(udata);
  fields.code = duk_get_error_code(ctx, -1);
  if (duk_is_object(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    fields.line = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : 0;
    duk_pop(ctx);
  }
  if (fields.code != DUK_ERR_NONE) {
    duk_get_prop_string(ctx, -1, "message");
  } else {
    duk_dup(ctx, -1);
  }
  duk_to_string(ctx, -1);
  return 1;
}

// The script control's numbers for the nearest JScript error, so callers can tell kinds apart.
int32_t ErrorNumber(duk_errcode_t code) {
  switch (code) {
    case DUK_ERR_SYNTAX_ERROR:
      return 1002;
    case DUK_ERR_REFERENCE_ERROR:
      return 5009;
    case DUK_ERR_TYPE_ERROR:
      return 5007;
    case DUK_ERR_RANGE_ERROR:
      return 5029;
    default:
      return 5022;
  }
}

Text ToText(std::string_view cesu8) { return Utf8ToGbk(Cesu8ToUtf8(cesu8)); }

std::string_view LineOf(std::string_view code, int32_t line) {
  for (int32_t i = 1; i < line; ++i) {
    size_t next = code.find('\n');
    if (next == std::string_view::npos) return {};
    code.remove_prefix(next + 1);
  }
  return code.substr(0, code.find_first_of("\r\n"));
}

}  // namespace

void ScriptEngine::HeapCloser::operator()(duk_hthread* context) const { duk_destroy_heap(context); }

ScriptEngine::ScriptEngine() : context_(duk_create_heap_default()) {}

ScriptEngine::~ScriptEngine() = default;

bool ScriptEngine::Run(Call& call, std::string* text) {
  lastError_ = ScriptError{};
  if (!context_) {
    lastError_.number = 5022;
    lastError_.description = "no script engine";
    return false;
  }
  duk_context* ctx = context_.get();
  duk_int_t rc = duk_safe_call(ctx, RunSafely, &call, 0, 1);
  if (rc == DUK_EXEC_SUCCESS) {
    if (text && call.isText) {
      duk_size_t size = 0;
      const char* s = duk_get_lstring(ctx, -1, &size);
      *text = Cesu8ToUtf8(std::string_view(s, size));
    }
    duk_pop(ctx);
    return true;
  }
  ErrorFields fields;
  Text description;
  if (duk_safe_call(ctx, ReadErrorSafely, &fields, 1, 1) == DUK_EXEC_SUCCESS) {
    duk_size_t size = 0;
    const char* s = duk_get_lstring(ctx, -1, &size);
    description = ToText(std::string_view(s, size));
  } else {
    description = "Error";
  }
  duk_pop(ctx);
  lastError_.number = ErrorNumber(fields.code);
  lastError_.source = call.compiled ? "JavaScript runtime error" : "JavaScript compilation error";
  lastError_.description = std::move(description);
  if (fields.line >= 1 && fields.line <= INT32_MAX) {
    lastError_.line = static_cast<int32_t>(fields.line);
    if (!call.compiled) lastError_.text = ToText(LineOf(call.code, lastError_.line));
  }
  return false;
}

bool ScriptEngine::AddCode(std::string_view utf8Code) {
  Call call{.mode = Call::Mode::kProgram, .code = utf8Code};
  return Run(call, nullptr);
}

bool ScriptEngine::Eval(std::string_view utf8Code) {
  Call call{.mode = Call::Mode::kEval, .code = utf8Code};
  return Run(call, nullptr);
}

std::optional<std::string> ScriptEngine::EvalText(std::string_view utf8Code) {
  Call call{.mode = Call::Mode::kEval, .kind = Kind::kText, .code = utf8Code};
  std::string text;
  if (!Run(call, &text) || !call.converted) return std::nullopt;
  return text;
}

std::optional<double> ScriptEngine::EvalNumber(std::string_view utf8Code) {
  Call call{.mode = Call::Mode::kEval, .kind = Kind::kNumber, .code = utf8Code};
  if (!Run(call, nullptr) || !call.converted) return std::nullopt;
  return call.number;
}

bool ScriptEngine::EvalBool(std::string_view utf8Code) {
  Call call{.mode = Call::Mode::kEval, .kind = Kind::kBool, .code = utf8Code};
  return Run(call, nullptr) && call.converted && call.boolean;
}

bool ScriptEngine::AssignJson(std::string_view name, std::string_view utf8Json) {
  Call call{.mode = Call::Mode::kJson, .code = utf8Json, .name = name};
  return Run(call, nullptr);
}

std::string Cesu8ToUtf8(std::string_view cesu8) {
  if (cesu8.find('\xED') == std::string_view::npos) return std::string(cesu8);
  auto surrogate = [&](size_t i, unsigned char low, unsigned char high) {
    return i + 2 < cesu8.size() && static_cast<unsigned char>(cesu8[i]) == 0xED &&
           static_cast<unsigned char>(cesu8[i + 1]) >= low &&
           static_cast<unsigned char>(cesu8[i + 1]) <= high;
  };
  auto unit = [&](size_t i) {
    return 0xD000u | ((static_cast<unsigned char>(cesu8[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(cesu8[i + 2]) & 0x3Fu);
  };
  std::string out;
  out.reserve(cesu8.size());
  size_t i = 0;
  while (i < cesu8.size()) {
    if (surrogate(i, 0xA0, 0xAF) && surrogate(i + 3, 0xB0, 0xBF)) {
      uint32_t cp = 0x10000 + ((unit(i) - 0xD800) << 10) + (unit(i + 3) - 0xDC00);
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      i += 6;
    } else if (surrogate(i, 0xA0, 0xBF)) {
      out.append("\xEF\xBF\xBD");
      i += 3;
    } else {
      out.push_back(cesu8[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace sucaigang
