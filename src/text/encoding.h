#pragma once
// Conversions between GBK, UTF-16LE and UTF-8, and percent-encoding. Invalid or unmappable
// input is replaced (U+FFFD towards UTF-16, "?" towards a multi-byte code page), never rejected.
#include "text/text.h"

namespace sucaigang {

inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// Terminated WideBytes (the zero unit counted); empty when the input up to its first zero is empty.
WideBytes MultiByteToWideBytes(std::string_view bytes, int codePage);
// Bytes without terminator; empty when the input up to its first zero unit is empty.
Bytes WideBytesToMultiByte(std::string_view wide, int codePage);

WideBytes GbkToWide(std::string_view text);
Text WideToGbk(std::string_view wide);
Bytes GbkToUtf8(std::string_view text);
Text Utf8ToGbk(std::string_view text);

// Bytes in a charset named as iconv knows it, as GBK Text up to the first zero character; what
// cannot be decoded becomes "?". False, and `out` untouched, when the charset is unknown.
bool CharsetToGbk(std::string_view bytes, const std::string& charset, Text& out);

Text PercentEncodeBytes(std::string_view bytes, bool keepUnreserved = false);
Text UrlEncode(std::string_view text, bool keepUnreserved = false, bool asUtf8 = false);

}  // namespace sucaigang

namespace sucaigang {
// The program's fixed texts are written in UTF-8 source; "登陆"_gbk gives their GBK Text.
inline Text operator""_gbk(const char* utf8, std::size_t length) {
  return Utf8ToGbk(std::string_view(utf8, length));
}
}  // namespace sucaigang
