#include "text/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>

namespace sucaigang {
namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHolder = std::unique_ptr<void, IconvCloser>;

std::string CodePageName(int codePage) {
  if (codePage == kCodePageGbk) return "CP936";
  if (codePage == kCodePageUtf8) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

// One descriptor per direction and thread, opened on first use: opening one costs far more
// than a typical conversion.
iconv_t Descriptor(int codePage, bool toWide) {
  struct Entry {
    int codePage;
    bool toWide;
    IconvHolder cd;
  };
  thread_local Entry cache[4];
  thread_local int used = 0;
  for (int i = 0; i < used; ++i) {
    if (cache[i].codePage == codePage && cache[i].toWide == toWide) return cache[i].cd.get();
  }
  std::string name = CodePageName(codePage);
  iconv_t cd = toWide ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
  Entry& slot = cache[used < 4 ? used++ : 3];
  slot = Entry{codePage, toWide, IconvHolder(cd)};
  return cd;
}

// The one conversion routine. What iconv rejects (invalid or unmappable input, or a cut-off
// sequence at the end) becomes `replacement`, and `step` input bytes are skipped.
void Convert(iconv_t cd, std::string_view in, std::string& out, std::string_view replacement,
             size_t step) {
  out.clear();
  if (cd == reinterpret_cast<iconv_t>(-1) || in.empty()) return;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  size_t written = 0;
  while (srcLeft > 0) {
    char* dst = out.data() + written;
    size_t dstLeft = out.size() - written;
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    written = out.size() - dstLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL: replace and step over.
    if (out.size() - written < replacement.size()) out.resize(out.size() * 2 + replacement.size());
    out.replace(written, replacement.size(), replacement);
    written += replacement.size();
    size_t skip = std::min(step, srcLeft);
    src += skip;
    srcLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(written);
}

constexpr std::string_view kWideReplacement{"\xFD\xFF", 2};  // U+FFFD, little-endian

bool IsAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Units up to the first zero unit; an odd last byte reads as the low byte of a unit.
std::string_view WideUntilZero(std::string_view wide, std::string& padded) {
  if (wide.size() % 2 != 0) {
    padded.assign(wide);
    padded.push_back('\0');
    wide = padded;
  }
  for (size_t i = 0; i + 1 < wide.size(); i += 2) {
    if (wide[i] == '\0' && wide[i + 1] == '\0') return wide.substr(0, i);
  }
  return wide;
}

void ToWide(std::string_view bytes, int codePage, std::string& out) {
  Convert(Descriptor(codePage, true), bytes, out, kWideReplacement, 1);
}

void FromWide(std::string_view wide, int codePage, std::string& out) {
  Convert(Descriptor(codePage, false), wide, out, "?", 2);
}

// GBK and UTF-8 agree on ASCII, so pure-ASCII text (most of what crosses here) is copied as is.
std::string Transcode(std::string_view text, int fromCodePage, int toCodePage) {
  text = UntilZero(text);
  if (IsAscii(text)) return std::string(text);
  thread_local std::string wide;
  std::string out;
  ToWide(text, fromCodePage, wide);
  FromWide(wide, toCodePage, out);
  return std::string(UntilZero(out));
}

}  // namespace

WideBytes MultiByteToWideBytes(std::string_view bytes, int codePage) {
  bytes = UntilZero(bytes);
  if (bytes.empty()) return {};
  std::string out;
  ToWide(bytes, codePage, out);
  out.append(2, '\0');
  return out;
}

Bytes WideBytesToMultiByte(std::string_view wide, int codePage) {
  std::string padded;
  wide = WideUntilZero(wide, padded);
  if (wide.empty()) return {};
  std::string out;
  FromWide(wide, codePage, out);
  out.resize(UntilZero(out).size());
  return out;
}

WideBytes GbkToWide(std::string_view text) { return MultiByteToWideBytes(text, kCodePageGbk); }

Text WideToGbk(std::string_view wide) { return WideBytesToMultiByte(wide, kCodePageGbk); }

Bytes GbkToUtf8(std::string_view text) { return Transcode(text, kCodePageGbk, kCodePageUtf8); }

Text Utf8ToGbk(std::string_view text) { return Transcode(text, kCodePageUtf8, kCodePageGbk); }

bool CharsetToGbk(std::string_view bytes, const std::string& charset, Text& out) {
  iconv_t cd = iconv_open("UTF-16LE", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  IconvHolder holder(cd);
  std::string wide;
  Convert(cd, bytes, wide, kWideReplacement, 1);
  out = WideToGbk(wide);
  return true;
}

Text PercentEncodeBytes(std::string_view bytes, bool keepUnreserved) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(bytes.size() * 3);
  for (unsigned char c : bytes) {
    if (c == 0) continue;
    bool unreserved =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        std::string_view("-_.'()*").find(static_cast<char>(c)) != std::string_view::npos;
    if (keepUnreserved && unreserved) {
      out.push_back(static_cast<char>(c));
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

Text UrlEncode(std::string_view text, bool keepUnreserved, bool asUtf8) {
  text = UntilZero(text);
  return PercentEncodeBytes(asUtf8 ? GbkToUtf8(text) : Text(text), keepUnreserved);
}

}  // namespace sucaigang
