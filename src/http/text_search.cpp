#include "http/text_search.h"

#include <unordered_set>

namespace sucaigang {
namespace {

constexpr std::size_t npos = std::string_view::npos;
// "#引号" in GBK: markers cannot hold a double quote in the callers' source, so this stands for
// one.
constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";
constexpr std::string_view kCookieSeparator = "; ";
constexpr std::string_view kDeletedSuffix = "=deleted";

// A lead byte at the very end has no second byte and stands alone.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
  return static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() ? 2 : 1;
}

// Walks one text's character boundaries forward once, so a series of searches with growing start
// positions (splitting, start then end marker) costs one pass. Candidates come from
// string_view::find and are kept only when they fall on a boundary.
class CharacterWalker {
 public:
  explicit CharacterWalker(std::string_view text) : text_(text) {}

  std::size_t Find(std::string_view marker, std::size_t from) {
    if (from > text_.size()) return npos;
    if (marker.empty()) {
      std::size_t at = BoundaryAtOrAfter(from);
      return at < text_.size() ? at : npos;
    }
    for (std::size_t at = text_.find(marker, from); at != npos; at = text_.find(marker, at + 1)) {
      if (BoundaryAtOrAfter(at) == at) return at;
    }
    return npos;
  }

  std::size_t FindLast(std::string_view marker) {
    std::size_t last = npos;
    if (marker.empty()) return last;
    for (std::size_t at = text_.find(marker); at != npos; at = text_.find(marker, at + 1)) {
      if (BoundaryAtOrAfter(at) == at) last = at;
    }
    return last;
  }

 private:
  std::size_t BoundaryAtOrAfter(std::size_t pos) {
    if (pos < boundary_) boundary_ = 0;
    while (boundary_ < pos) boundary_ += CharacterLength(text_, boundary_);
    return boundary_;
  }

  std::string_view text_;
  std::size_t boundary_ = 0;
};

bool EndsWithText(std::string_view text, std::string_view marker) {
  if (marker.empty() || marker.size() > text.size()) return false;
  return CharacterWalker(text).FindLast(marker) == text.size() - marker.size();
}

Text ReplaceQuotePlaceholder(std::string_view marker) {
  Text out;
  CharacterWalker walker(marker);
  std::size_t start = 0;
  for (std::size_t at = walker.Find(kQuotePlaceholder, 0); at != npos;
       at = walker.Find(kQuotePlaceholder, start)) {
    out.append(marker.substr(start, at - start));
    out.push_back('"');
    start = at + kQuotePlaceholder.size();
  }
  out.append(marker.substr(start));
  return out;
}

// A cookie text is split at "; ", so a text ending in ";" gets its space first.
Text PrepareCookieText(std::string_view cookies) {
  Text text = TrimSpaces(cookies);
  if (EndsWithText(text, ";")) text.push_back(' ');
  return text;
}

}  // namespace

std::size_t FindText(std::string_view text, std::string_view marker, std::size_t from) {
  return CharacterWalker(UntilZero(text)).Find(UntilZero(marker), from);
}

std::size_t FindLastText(std::string_view text, std::string_view marker) {
  return CharacterWalker(UntilZero(text)).FindLast(UntilZero(marker));
}

Text LowerAscii(std::string_view text) {
  Text out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::size_t FindTextNoCase(std::string_view text, std::string_view marker, std::size_t from) {
  return FindText(LowerAscii(text), LowerAscii(marker), from);
}

bool ContainsNoCase(std::string_view text, std::string_view marker) {
  return FindTextNoCase(text, marker) != std::string_view::npos;
}

Text RemoveAllText(std::string_view text, std::string_view marker, bool ignoreCase) {
  if (marker.empty()) return Text(text);
  const Text lowered = ignoreCase ? LowerAscii(text) : Text();
  const Text loweredMarker = ignoreCase ? LowerAscii(marker) : Text();
  const std::string_view haystack = ignoreCase ? std::string_view(lowered) : text;
  const std::string_view needle = ignoreCase ? std::string_view(loweredMarker) : marker;
  Text out;
  std::size_t from = 0;
  for (std::size_t at; (at = FindText(haystack, needle, from)) != std::string_view::npos;) {
    out.append(text.substr(from, at - from));
    from = at + marker.size();
  }
  out.append(text.substr(from));
  return out;
}

std::vector<Text> SplitText(std::string_view text, std::string_view separator) {
  text = UntilZero(text);
  separator = UntilZero(separator);
  std::vector<Text> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  CharacterWalker walker(text);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t at = walker.Find(separator, start);
    if (at == npos) {
      pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  return pieces;
}

Text JoinText(std::span<const Text> items, std::string_view separator) {
  Text out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out.append(separator);
    out.append(items[i]);
  }
  return out;
}

Text TrimSpaces(std::string_view text) {
  text = UntilZero(text);
  std::size_t begin = npos;
  std::size_t end = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = CharacterLength(text, pos);
    bool space = length == 1 ? text[pos] == ' ' : text.substr(pos, 2) == "\xA1\xA1";
    if (!space) {
      if (begin == npos) begin = pos;
      end = pos + length;
    }
    pos += length;
  }
  if (begin == npos) return {};
  return Text(text.substr(begin, end - begin));
}

Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker) {
  text = UntilZero(text);
  Text start = ReplaceQuotePlaceholder(UntilZero(startMarker));
  Text end = ReplaceQuotePlaceholder(UntilZero(endMarker));
  if (end.empty()) return {};
  CharacterWalker walker(text);
  std::size_t at = walker.Find(start, 0);
  if (at == npos) return {};
  std::size_t from = at + start.size();
  std::size_t stop = walker.Find(end, from);
  if (stop == npos) return {};
  return Text(text.substr(from, stop - from));
}

Text TextLeftOf(std::string_view text, std::string_view marker) {
  text = UntilZero(text);
  std::size_t at = FindText(text, marker);
  if (at == npos) return {};
  return Text(text.substr(0, at));
}

Text TextRightOf(std::string_view text, std::string_view marker) {
  text = UntilZero(text);
  marker = UntilZero(marker);
  std::size_t at = FindLastText(text, marker);
  if (at == npos) return {};
  return Text(text.substr(at + marker.size()));
}

Text GetHeaderValue(std::string_view headers, std::string_view name) {
  name = UntilZero(name);
  // Only the first line that begins with the name counts, even when it is a longer name.
  for (const Text& line : SplitText(headers, "\r\n")) {
    if (line.starts_with(name)) return TextRightOf(line, Text(name) + ": ");
  }
  return {};
}

Text NormaliseHeaderNames(std::string_view headers) {
  Text out;
  for (const Text& line : SplitText(headers, "\r\n")) {
    std::size_t colon = FindText(line, ":");
    if (colon == npos) continue;
    // CapitaliseFirst on every part between dashes, in place: the name keeps its length.
    Text name = line.substr(0, colon);
    bool partStart = true;
    for (std::size_t pos = 0; pos < name.size();) {
      std::size_t length = CharacterLength(name, pos);
      if (partStart && length == 1 && name[pos] >= 'a' && name[pos] <= 'z') name[pos] -= 'a' - 'A';
      partStart = length == 1 && name[pos] == '-';
      pos += length;
    }
    out.append(name);
    out.append(line, colon);
    out.append("\r\n");
  }
  if (!out.empty()) out.resize(out.size() - 2);
  return out;
}

Text CapitaliseFirst(std::string_view text) {
  Text out(UntilZero(text));
  if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] -= 'a' - 'A';
  return out;
}

Text MergeCookies(Text& oldCookies, std::string_view newCookies) {
  // Both texts are read before the variable is written, so newCookies may view oldCookies.
  std::vector<Text> items = SplitText(PrepareCookieText(newCookies), kCookieSeparator);
  std::vector<Text> oldItems = SplitText(PrepareCookieText(oldCookies), kCookieSeparator);
  // The names of the items as they stand; the same answer as HasCookieName over `items`
  // without rescanning the list for every old item.
  std::unordered_set<Text> names;
  for (const Text& item : items) names.insert(CookieName(item));
  for (Text& item : oldItems) {
    if (names.insert(CookieName(item)).second) items.push_back(std::move(item));
  }
  Text joined;
  bool first = true;
  for (const Text& item : items) {
    if (EndsWithText(item, kDeletedSuffix)) continue;
    if (!first) joined.append(kCookieSeparator);
    joined.append(item);
    first = false;
  }
  Text merged = RemoveDuplicateItems(joined, kCookieSeparator);
  oldCookies = merged;
  return merged;
}

Text CookieName(std::string_view item) {
  item = UntilZero(item);
  return TrimSpaces(item.substr(0, FindText(item, "=")));
}

bool HasCookieName(std::span<const Text> items, std::string_view name) {
  name = UntilZero(name);
  for (const Text& item : items) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

Text RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  std::vector<Text> items = SplitText(text, separator);
  std::unordered_set<std::string_view> seen;
  std::vector<Text> kept;
  for (const Text& item : items) {
    if (seen.insert(item).second) kept.push_back(item);
  }
  return JoinText(kept, UntilZero(separator));
}

int FindItem(std::span<const Text> items, std::string_view text) {
  text = UntilZero(text);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (UntilZero(items[i]) == text) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace sucaigang
