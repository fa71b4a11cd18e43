// TextBetween, TextLeftOf and TextRightOf against a plain walk over every character boundary,
// which the quicker search in the library must agree with.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "http/text_search.h"

namespace {

using sucaigang::Text;
using sucaigang::UntilZero;
constexpr std::size_t npos = std::string_view::npos;

std::vector<std::size_t> Boundaries(std::string_view text) {
  std::vector<std::size_t> boundaries;
  for (std::size_t pos = 0; pos < text.size();) {
    boundaries.push_back(pos);
    pos += static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() ? 2 : 1;
  }
  return boundaries;
}

std::size_t PlainFind(std::string_view text, std::string_view marker, std::size_t from) {
  for (std::size_t at : Boundaries(text)) {
    if (at >= from && text.substr(at, marker.size()) == marker) return at;
  }
  return npos;
}

Text PlainReplaceQuote(std::string_view marker) {
  const std::string_view placeholder = "#\xD2\xFD\xBA\xC5";
  Text out;
  std::size_t start = 0;
  for (std::size_t at = PlainFind(marker, placeholder, 0); at != npos;
       at = PlainFind(marker, placeholder, start)) {
    out.append(marker.substr(start, at - start));
    out.push_back('"');
    start = at + placeholder.size();
  }
  out.append(marker.substr(start));
  return out;
}

Text PlainBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker) {
  Text start = PlainReplaceQuote(startMarker);
  Text end = PlainReplaceQuote(endMarker);
  if (end.empty()) return {};
  std::size_t at = PlainFind(text, start, 0);
  if (at == npos) return {};
  std::size_t from = at + start.size();
  std::size_t stop = PlainFind(text, end, from);
  if (stop == npos) return {};
  return Text(text.substr(from, stop - from));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  std::string start = provider.ConsumeRandomLengthString(24);
  std::string end = provider.ConsumeRandomLengthString(24);
  std::string text = provider.ConsumeRemainingBytesAsString();
  std::string_view whole = UntilZero(text);

  Text between = sucaigang::TextBetween(text, start, end);
  FUZZ_CHECK(between.empty() || whole.find(between) != npos);
  FUZZ_CHECK(between == PlainBetween(whole, UntilZero(start), UntilZero(end)));

  Text left = sucaigang::TextLeftOf(text, start);
  FUZZ_CHECK(whole.starts_with(left));
  Text right = sucaigang::TextRightOf(text, end);
  FUZZ_CHECK(whole.ends_with(right));
  return 0;
}
