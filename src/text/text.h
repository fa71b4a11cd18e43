#pragma once
// Shared text types. Text holds GBK (code page 936) bytes everywhere inside the program;
// Bytes is a counted buffer that may hold zero bytes; WideBytes holds UTF-16LE code units.
#include <string>
#include <string_view>

namespace sucaigang {

using Text = std::string;
using Bytes = std::string;
using WideBytes = std::string;

// A Text argument reads up to its first zero byte, as a NUL-terminated string would.
inline std::string_view UntilZero(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace sucaigang
