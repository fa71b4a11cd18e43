// Utf8ToGbk on any bytes: the result is a Text (no zero byte), ASCII passes unchanged, and the
// GBK it gives survives the round trips through UTF-8 and UTF-16 unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "text/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string_view text = sucaigang::UntilZero(input);
  sucaigang::Text gbk = sucaigang::Utf8ToGbk(input);
  FUZZ_CHECK(gbk.find('\0') == std::string::npos);
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii) FUZZ_CHECK(gbk == text);
  FUZZ_CHECK(sucaigang::Utf8ToGbk(sucaigang::GbkToUtf8(gbk)) == gbk);
  FUZZ_CHECK(sucaigang::WideToGbk(sucaigang::GbkToWide(gbk)) == gbk);
  return 0;
}
