// NormaliseHeaderNames never grows a block, never ends it with a line break, and a normalised
// block stays as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "http/text_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string block(reinterpret_cast<const char*>(data), size);
  sucaigang::Text normalised = sucaigang::NormaliseHeaderNames(block);
  FUZZ_CHECK(normalised.size() <= sucaigang::UntilZero(block).size());
  FUZZ_CHECK(normalised.size() < 2 ||
             sucaigang::FindLastText(normalised, "\r\n") != normalised.size() - 2);
  FUZZ_CHECK(sucaigang::NormaliseHeaderNames(normalised) == normalised);
  return 0;
}
