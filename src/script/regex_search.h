#pragma once
// One regular expression (JavaScript dialect, on PCRE2) run over one GBK subject. Match and
// sub-match numbers count from 1. Reads answer about the last Execute only; failures give
// false, 0 or empty Text. Construct, use and destroy an object on one thread.
//
//   RegexSearch search;
//   if (search.Execute("<meta.+?charset=[^\\w]?([-\\w]+)", pageHead) && search.MatchCount() > 0)
//     charset = search.SubmatchText(1, 1);
//   search.Execute("(\\d+)", "a1b22", {.caseSensitive = true});
//   Text swapped = search.Replace("<$1>");  // "a<1>b<22>"
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "text/text.h"

namespace sucaigang {

struct RegexFlags {
  bool caseSensitive = false;
  bool multiline = true;  // ^ and $ match at line breaks
  bool global = true;     // every match, not only the first
  // "#引号" in the pattern stands for a double quote.
  bool quotePlaceholder = false;
};

class RegexSearch {
 public:
  RegexSearch();
  ~RegexSearch();
  RegexSearch(RegexSearch&&) noexcept;
  RegexSearch& operator=(RegexSearch&&) noexcept;
  RegexSearch(const RegexSearch&) = delete;
  RegexSearch& operator=(const RegexSearch&) = delete;

  // Shares the expression and the matches of this object.
  RegexSearch Copy() const;
  // True when the expression ran, matched or not; false for an invalid pattern.
  bool Execute(std::string_view pattern, std::string_view subject, RegexFlags flags = {});
  void Idle() {}
  Text Pattern() const;
  // The subject with the matches replaced by `replacement`, which understands $1 to $99, $&,
  // $`, $' and $$ as a JavaScript replacement does.
  Text Replace(std::string_view replacement = {}) const;
  int32_t MatchCount() const;
  // `position` (when given) receives the byte offset of the text in the GBK subject.
  Text MatchText(int32_t matchIndex, int32_t* position = nullptr) const;
  // Empty when there is no such match or group, or the group took no part in the match.
  Text SubmatchText(int32_t matchIndex, int32_t submatchIndex, int32_t* position = nullptr) const;
  // The number of groups of the first match; 0 when nothing matched.
  int32_t SubmatchCount() const;

  struct Expression;
  struct Matches;

 private:
  std::shared_ptr<const Expression> expression_;
  std::shared_ptr<const Matches> matches_;
  std::string subject_;  // UTF-8
};

}  // namespace sucaigang
