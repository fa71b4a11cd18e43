#include "script/regex_search.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <vector>

#include "text/encoding.h"

namespace sucaigang {
namespace {

struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
using CodeHolder = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataHolder = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using CompileContextHolder = std::unique_ptr<pcre2_compile_context, CompileContextFree>;

struct Span {
  size_t start = PCRE2_UNSET;
  size_t end = PCRE2_UNSET;
  bool Set() const { return start != PCRE2_UNSET; }
};

// As close to the script engine's dialect as PCRE2 goes: \uXXXX escapes, [] matching nothing,
// a reference to an unset group matching empty, $ only at the very end unless multi-line.
constexpr uint32_t kBaseOptions = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX |
                                  PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF |
                                  PCRE2_DOLLAR_ENDONLY;

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from)) {
    out.append(text.substr(0, at)).append(to);
    text.remove_prefix(at + from.size());
  }
  return out.append(text);
}

size_t NextCharacter(std::string_view utf8, size_t at) {
  ++at;
  while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) ++at;
  return at;
}

}  // namespace

struct RegexSearch::Expression {
  std::string pattern;  // UTF-8
  CodeHolder code;      // empty when the pattern does not compile
};

struct RegexSearch::Matches {
  struct Match {
    Span whole;
    std::vector<Span> groups;
  };
  std::vector<Match> list;
  uint32_t groupCount = 0;
};

RegexSearch::RegexSearch() = default;
RegexSearch::~RegexSearch() = default;
RegexSearch::RegexSearch(RegexSearch&&) noexcept = default;
RegexSearch& RegexSearch::operator=(RegexSearch&&) noexcept = default;

RegexSearch RegexSearch::Copy() const {
  RegexSearch copy;
  copy.expression_ = expression_;
  copy.matches_ = matches_;
  copy.subject_ = subject_;
  return copy;
}

bool RegexSearch::Execute(std::string_view pattern, std::string_view subject, RegexFlags flags) {
  expression_.reset();
  matches_.reset();

  auto expression = std::make_shared<Expression>();
  expression->pattern = GbkToUtf8(pattern);
  if (flags.quotePlaceholder) expression->pattern = ReplaceAll(expression->pattern, "#引号", "\"");
  CompileContextHolder context(pcre2_compile_context_create(nullptr));
  if (context) pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANY);
  uint32_t options = kBaseOptions;
  if (!flags.caseSensitive) options |= PCRE2_CASELESS;
  if (flags.multiline) options |= PCRE2_MULTILINE;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  expression->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression->pattern.data()),
                                       expression->pattern.size(), options, &errorCode,
                                       &errorOffset, context.get()));
  if (expression->code) pcre2_jit_compile(expression->code.get(), PCRE2_JIT_COMPLETE);
  expression_ = expression;
  subject_ = GbkToUtf8(subject);
  if (!expression->code) return false;

  pcre2_code* code = expression->code.get();
  MatchDataHolder data(pcre2_match_data_create_from_pattern(code, nullptr));
  if (!data) return false;
  auto matches = std::make_shared<Matches>();
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &matches->groupCount);
  const auto* start = reinterpret_cast<PCRE2_SPTR>(subject_.data());
  size_t offset = 0;
  while (offset <= subject_.size()) {
    int rc = pcre2_match(code, start, subject_.size(), offset, 0, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) return false;  // a limit was hit: no answer rather than half of one
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    Matches::Match match;
    match.whole = {ovector[0], std::max(ovector[0], ovector[1])};
    for (uint32_t i = 1; i <= matches->groupCount; ++i) {
      match.groups.push_back({ovector[2 * i], ovector[2 * i + 1]});
    }
    matches->list.push_back(std::move(match));
    if (!flags.global) break;
    // After an empty match the search moves on by one character, as the script engine does.
    offset = ovector[1] > ovector[0] ? ovector[1] : NextCharacter(subject_, ovector[0]);
  }
  matches_ = std::move(matches);
  return true;
}

Text RegexSearch::Pattern() const { return expression_ ? Utf8ToGbk(expression_->pattern) : Text(); }

Text RegexSearch::Replace(std::string_view replacement) const {
  if (!matches_) return {};
  const std::string with = GbkToUtf8(replacement);
  const std::string_view subject = subject_;
  auto piece = [&](Span span) {
    return span.Set() ? subject.substr(span.start, span.end - span.start) : std::string_view();
  };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string out;
  size_t last = 0;
  for (const Matches::Match& match : matches_->list) {
    out.append(subject.substr(last, match.whole.start - last));
    const size_t groups = match.groups.size();
    for (size_t i = 0; i < with.size(); ++i) {
      if (with[i] != '$' || i + 1 == with.size()) {
        out.push_back(with[i]);
        continue;
      }
      char next = with[i + 1];
      if (next == '$') {
        out.push_back('$');
        ++i;
      } else if (next == '&') {
        out.append(piece(match.whole));
        ++i;
      } else if (next == '`') {
        out.append(subject.substr(0, match.whole.start));
        ++i;
      } else if (next == '\'') {
        out.append(subject.substr(match.whole.end));
        ++i;
      } else if (digit(next)) {
        // Two digits when they name a group, else one, else the text stays as written.
        size_t one = static_cast<size_t>(next - '0');
        if (i + 2 < with.size() && digit(with[i + 2])) {
          size_t two = one * 10 + static_cast<size_t>(with[i + 2] - '0');
          if (two >= 1 && two <= groups) {
            out.append(piece(match.groups[two - 1]));
            i += 2;
            continue;
          }
        }
        if (one >= 1 && one <= groups) {
          out.append(piece(match.groups[one - 1]));
          ++i;
        } else {
          out.push_back('$');
        }
      } else {
        out.push_back('$');
      }
    }
    last = match.whole.end;
  }
  out.append(subject.substr(last));
  return Utf8ToGbk(out);
}

int32_t RegexSearch::MatchCount() const {
  return matches_ ? static_cast<int32_t>(matches_->list.size()) : 0;
}

namespace {

Text SpanText(std::string_view subject, Span span, int32_t* position) {
  if (!span.Set()) return {};
  if (position) *position = static_cast<int32_t>(Utf8ToGbk(subject.substr(0, span.start)).size());
  return Utf8ToGbk(subject.substr(span.start, span.end - span.start));
}

}  // namespace

Text RegexSearch::MatchText(int32_t matchIndex, int32_t* position) const {
  if (matchIndex < 1 || matchIndex > MatchCount()) return {};
  return SpanText(subject_, matches_->list[matchIndex - 1].whole, position);
}

Text RegexSearch::SubmatchText(int32_t matchIndex, int32_t submatchIndex, int32_t* position) const {
  if (matchIndex < 1 || matchIndex > MatchCount() || submatchIndex < 1 ||
      static_cast<uint32_t>(submatchIndex) > matches_->groupCount) {
    return {};
  }
  return SpanText(subject_, matches_->list[matchIndex - 1].groups[submatchIndex - 1], position);
}

int32_t RegexSearch::SubmatchCount() const {
  return MatchCount() > 0 ? static_cast<int32_t>(matches_->groupCount) : 0;
}

}  // namespace sucaigang
