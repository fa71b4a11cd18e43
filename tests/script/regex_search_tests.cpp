#include "script/regex_search.h"

#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"

namespace sucaigang {
namespace {

// The request engine's charset step.
constexpr const char* kCharsetPattern = R"(<meta.+?charset=[^\w]?([-\w]+))";

TEST(RegexSearch, CharsetOfAPageHead) {
  struct Case {
    const char* head;
    const char* charset;
  } cases[] = {
      {R"(<html><head><META http-equiv="Content-Type" content="text/html; charset=UTF-8">)",
       "UTF-8"},
      {"<meta charset=\"gbk\" />\n<title>x</title>", "gbk"},
      {"<Meta Charset='big5-hkscs'>", "big5-hkscs"},
      {"<meta name=\"a\">\r\n<meta http-equiv=\"x\" content=\"charset=euc-jp\">", "euc-jp"},
  };
  for (const auto& c : cases) {
    RegexSearch search;
    EXPECT_TRUE(search.Execute(kCharsetPattern, c.head)) << c.head;
    EXPECT_EQ(search.SubmatchText(1, 1), c.charset) << c.head;
    EXPECT_EQ(search.SubmatchCount(), 1);
    EXPECT_EQ(search.Pattern(), kCharsetPattern);
  }
}

TEST(RegexSearch, NoMatchInvalidPatternAndNoExecute) {
  RegexSearch search;
  EXPECT_EQ(search.MatchCount(), 0);
  EXPECT_EQ(search.Pattern(), "");
  EXPECT_EQ(search.Replace("x"), "");

  EXPECT_TRUE(search.Execute(kCharsetPattern, "<html><head><title>none</title>"));
  EXPECT_EQ(search.MatchCount(), 0);
  EXPECT_EQ(search.MatchText(1), "");
  EXPECT_EQ(search.SubmatchText(1, 1), "");
  EXPECT_EQ(search.SubmatchCount(), 0);
  EXPECT_EQ(search.Replace("x"), "<html><head><title>none</title>");

  for (const char* invalid : {"(abc", "a{2,1}", "[b-a]", "(?<"}) {
    EXPECT_FALSE(search.Execute(invalid, "abc abc")) << invalid;
    EXPECT_EQ(search.MatchCount(), 0);
    EXPECT_EQ(search.MatchText(1), "");
    EXPECT_EQ(search.Replace("x"), "");
    EXPECT_EQ(search.Pattern(), invalid);
  }
}

TEST(RegexSearch, FlagsCaseMultilineGlobal) {
  struct Case {
    const char* pattern;
    const char* subject;
    RegexFlags flags;
    int count;
  } cases[] = {
      {"abc", "xABCx abc", {}, 2},
      {"abc", "xABCx abc", {.caseSensitive = true}, 1},
      {"abc", "xABCx abc", {.global = false}, 1},
      {"^b$", "a\nb\r\nc", {}, 1},
      {"^b$", "a\rb\rc", {}, 1},
      {"^b", "a\nb", {.multiline = false}, 0},
      {"a$", "a\n", {.multiline = false}, 0},  // $ only at the very end
      {"\\u0041", "A", {.caseSensitive = true}, 1},
      {"x[]y|q", "xy q", {}, 1},    // [] matches nothing
      {"\\w+", "ab中文cd", {}, 2},  // \w is ASCII only
  };
  for (const auto& c : cases) {
    RegexSearch search;
    EXPECT_TRUE(search.Execute(c.pattern, Utf8ToGbk(c.subject), c.flags)) << c.pattern;
    EXPECT_EQ(search.MatchCount(), c.count) << c.pattern << " on " << c.subject;
  }
}

TEST(RegexSearch, QuotePlaceholder) {
  const Text pattern = "id=#引号(\\w+)#引号"_gbk;
  RegexSearch search;
  EXPECT_TRUE(search.Execute(pattern, "<a id=\"main\">", {.quotePlaceholder = true}));
  EXPECT_EQ(search.SubmatchText(1, 1), "main");
  EXPECT_EQ(search.Pattern(), "id=\"(\\w+)\"");
  EXPECT_TRUE(search.Execute(pattern, "<a id=\"main\">"));
  EXPECT_EQ(search.MatchCount(), 0);
  EXPECT_TRUE(search.Execute(pattern, "id=#引号x#引号"_gbk));
  EXPECT_EQ(search.SubmatchText(1, 1), "x");
}

TEST(RegexSearch, MatchesSubmatchesAndPositions) {
  RegexSearch search;
  EXPECT_TRUE(search.Execute("(\\d+)(x)?", "a12b3x"));
  EXPECT_EQ(search.MatchCount(), 2);
  EXPECT_EQ(search.SubmatchCount(), 2);
  EXPECT_EQ(search.MatchText(1), "12");
  EXPECT_EQ(search.MatchText(2), "3x");
  EXPECT_EQ(search.MatchText(0), "");
  EXPECT_EQ(search.MatchText(3), "");
  EXPECT_EQ(search.SubmatchText(1, 2), "");  // took no part
  EXPECT_EQ(search.SubmatchText(2, 2), "x");
  EXPECT_EQ(search.SubmatchText(2, 3), "");
  EXPECT_EQ(search.SubmatchText(2, 0), "");
  int32_t position = -1;
  search.MatchText(2, &position);
  EXPECT_EQ(position, 4);

  // A GBK subject is matched by character and handed back as GBK; positions count GBK bytes.
  EXPECT_TRUE(search.Execute("素材(港)"_gbk, "ab素材港解析"_gbk));
  EXPECT_EQ(search.MatchText(1, &position), "素材港"_gbk);
  EXPECT_EQ(position, 2);
  EXPECT_EQ(search.SubmatchText(1, 1, &position), "港"_gbk);
  EXPECT_EQ(position, 6);
  EXPECT_TRUE(search.Execute("[\\u4e00-\\u9fa5]+", "x中文y"_gbk));
  EXPECT_EQ(search.MatchText(1), "中文"_gbk);
  EXPECT_EQ(search.Replace("<$&>"), "x<中文>y"_gbk);
  // A double-byte character whose second byte is an ASCII letter is one character.
  EXPECT_TRUE(search.Execute("a", "\xB0\x61"));
  EXPECT_EQ(search.MatchCount(), 0);
}

TEST(RegexSearch, ReplaceFollowsScriptReplacementRules) {
  struct Case {
    const char* pattern;
    const char* subject;
    const char* replacement;
    RegexFlags flags;
    const char* result;
  } cases[] = {
      {"(\\d+)", "a1b22", "<$1>", {}, "a<1>b<22>"},
      {"(\\d+)", "a1b22", "[$&]", {}, "a[1]b[22]"},
      {"(\\d+)", "a1b22", "<$1>", {.global = false}, "a<1>b22"},
      {"b", "abc", "$`|$'", {}, "aa|cc"},
      {"b", "abc", "$$", {}, "a$c"},
      {"b", "abc", "$", {}, "a$c"},
      {"b", "abc", "$x$0$2", {}, "a$x$0$2c"},
      {"(b)", "abc", "$10$01", {}, "ab0bc"},
      {"(a)(b)?", "ac", "[$2]", {}, "[]c"},
      {"(1)(2)(3)(4)(5)(6)(7)(8)(9)(0)(x)", "1234567890x", "$11$10", {}, "x0"},
      {"x*", "abc", "-", {}, "-a-b-c-"},
      {"B", "abc", "", {}, "ac"},
      {"z", "abc", "-", {}, "abc"},
  };
  for (const auto& c : cases) {
    RegexSearch search;
    ASSERT_TRUE(search.Execute(c.pattern, c.subject, c.flags)) << c.pattern;
    EXPECT_EQ(search.Replace(c.replacement), c.result) << c.pattern << " / " << c.replacement;
  }
}

TEST(RegexSearch, CopySharesTheLastExecute) {
  RegexSearch search;
  search.Execute("(b+)", "abbc");
  RegexSearch copy = search.Copy();
  search.Execute("z", "abbc");
  EXPECT_EQ(copy.SubmatchText(1, 1), "bb");
  EXPECT_EQ(copy.Pattern(), "(b+)");
  EXPECT_EQ(search.MatchCount(), 0);
  copy.Idle();
}

}  // namespace
}  // namespace sucaigang
