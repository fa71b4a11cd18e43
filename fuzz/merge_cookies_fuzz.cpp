// MergeCookies writes its result into the old cookie variable, keeps within the length of both
// texts, and gives the same result when the new text is a view of that same variable.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "http/text_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  sucaigang::Text oldCookies = provider.ConsumeRandomLengthString(size);
  std::string newCookies = provider.ConsumeRemainingBytesAsString();
  const std::size_t bound =
      sucaigang::UntilZero(oldCookies).size() + sucaigang::UntilZero(newCookies).size() + 4;

  sucaigang::Text cookies = oldCookies;
  sucaigang::Text merged = sucaigang::MergeCookies(cookies, newCookies);
  FUZZ_CHECK(cookies == merged);
  FUZZ_CHECK(merged.size() <= bound);

  sucaigang::Text copy = oldCookies;
  sucaigang::Text expected = sucaigang::MergeCookies(copy, sucaigang::Text(oldCookies));
  sucaigang::Text aliased = oldCookies;
  FUZZ_CHECK(sucaigang::MergeCookies(aliased, aliased) == expected);
  FUZZ_CHECK(aliased == expected);
  return 0;
}
