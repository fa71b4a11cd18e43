#include "http/text_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/encoding.h"

namespace sucaigang {
namespace {

using namespace std::string_literals;

constexpr auto npos = std::string_view::npos;
// GBK bytes of the characters the cases use.
const std::string kZhong = "\xD6\xD0";  // 中
const std::string kA = "\xB0\xA1";  // 啊: its second byte is also the first of a full-width space
const std::string kWideSpace = "\xA1\xA1";

TEST(TextSearch, FindNeverBeginsOnASecondByte) {
  struct Case {
    std::string text, marker;
    std::size_t from, first, last;
  } cases[] = {
      {"abcabc", "bc", 0, 1, 4},
      {"abcabc", "bc", 2, 4, 4},
      {"aaa", "aa", 0, 0, 1},
      // 中中 holds D0 D6 only across the boundary of its two characters.
      {kZhong + kZhong, "\xD0\xD6", 0, npos, npos},
      {kZhong + kZhong, "\xD0", 0, npos, npos},
      {kZhong + kZhong, kZhong, 1, 2, 2},
      {"a" + kA + kA, kA, 0, 1, 3},
      {"a" + kA + kA, "\xA1\xB0", 0, npos, npos},
      // GBK second bytes reach into ASCII (0x40 to 0x7E): "@" after 0x81 is not an "@".
      {"\x81@", "@", 0, npos, npos},
      {"\x81@@", "@", 0, 2, 2},
      {"\x81@x@", "x@", 0, 2, 2},
      // Boundaries count from the start of the text, not from the search position.
      {"\x81@@", "@", 1, 2, 2},
      // A lead byte at the very end stands alone.
      {"a\x81", "\x81", 0, 1, 1},
      {"", "a", 0, npos, npos},
      {"abc", "", 0, 0, npos},
      {"", "", 0, npos, npos},
      {kZhong + "a", "", 1, 2, npos},
      {"abc", "c", 7, npos, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text=" << testing::PrintToString(c.text)
                                    << " marker=" << testing::PrintToString(c.marker));
    EXPECT_EQ(FindText(c.text, c.marker, c.from), c.first);
    EXPECT_EQ(FindLastText(c.text, c.marker), c.last);
  }
}

TEST(TextSearch, SplitText) {
  struct Case {
    std::string text, separator;
    std::vector<std::string> pieces;
  } cases[] = {
      {"", ";", {}},
      {"a;b", ";", {"a", "b"}},
      {"a;;b;", ";", {"a", "", "b"}},  // inner empty pieces stay, an empty last one goes
      {"a;b;;", ";", {"a", "b", ""}},
      {";", ";", {""}},
      {"a", "", {"a"}},
      {"a\r\nb\r\n", "\r\n", {"a", "b"}},
      {"a; b;c", "; ", {"a", "b;c"}},
      {kA + kA, "\xA1\xB0", {kA + kA}},
      {"x\x81;y;z", ";", {"x\x81;y", "z"}},
      {"a\0;b"s, ";", {"a"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitText(c.text, c.separator), c.pieces) << testing::PrintToString(c.text);
  }
  EXPECT_EQ(JoinText(std::vector<Text>{"a", "", "b"}, "; "), "a; ; b");
  EXPECT_EQ(JoinText(std::vector<Text>{}, "; "), "");
}

TEST(TextSearch, TrimSpacesRemovesAsciiAndFullWidthSpacesOnly) {
  struct Case {
    std::string text, trimmed;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"  a b  ", "a b"},
      {kWideSpace + " a" + kWideSpace + kWideSpace, "a"},
      {" " + kWideSpace + kZhong + " " + kWideSpace, kZhong},
      {"\ta\r\n", "\ta\r\n"},
      // 啊 followed by a lone A1: the A1 A1 pair straddles a character and is no space.
      {kA + "\xA1", kA + "\xA1"},
      {kA + kWideSpace, kA},
      {"x\xA1 ", "x\xA1 "},  // A1 and the space form one character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << testing::PrintToString(c.text);
  }
}

TEST(TextSearch, TextBetween) {
  const Text quote = "#引号"_gbk;
  struct Case {
    std::string text, start, end, between;
  } cases[] = {
      {"a\"b\"c", quote, quote, "b"},
      {"a\"b\"c", "q", "c", ""},
      {"xz", "x", "z", ""},
      {"a[b]c", "[", "", ""},
      {"", "", "", ""},
      {"Date: Tue\r\nServer: y", "Date:", "\r\n", " Tue"},
      {"<input name=\"pic_id\" value=\"8123\" />", "pic_id" + quote + " value=" + quote, quote,
       "8123"},
      {"b]a[b]", "[", "]", "b"},
      {"aXa", "aX", "Xa", ""},  // the end marker must begin after the start marker
      {"abc", "", "c", "ab"},   // an empty start marker matches at the first character
      {"", "", "x", ""},
      {"<b>" + "素材港"_gbk + "</b>", "<b>", "</b>", "素材港"_gbk},
      // Markers that occur only across a character boundary are not found.
      {kZhong + kZhong + "x", "\xD0\xD6", "x", ""},
      {"[" + kA + kA + "]", "[", "\xA1\xB0", ""},
      {"[\x81]x]", "[", "]", "\x81]x"},
      {"a\0[b]"s, "[", "]", ""},  // the text ends at its first zero byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.start, c.end), c.between)
        << testing::PrintToString(c.text) << " " << testing::PrintToString(c.start) << " "
        << testing::PrintToString(c.end);
  }
}

TEST(TextSearch, TextLeftOfAndRightOf) {
  struct Case {
    std::string text, marker, left, right;
  } cases[] = {
      {"Set-Cookie: a=1", ": ", "Set-Cookie", "a=1"},
      {"HTTP/1.1 200 OK", ": ", "", ""},
      {"k: a: b", ": ", "k", "b"},
      {"abc", "", "", ""},
      {kZhong + "|" + kZhong, "|", kZhong, kZhong},
      {kA + "x", "\xA1", "", ""},
      {"\x81@a@b", "@", "\x81@a", "b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(TextLeftOf(c.text, c.marker), c.left);
    EXPECT_EQ(TextRightOf(c.text, c.marker), c.right);
  }
}

TEST(TextSearch, GetHeaderValue) {
  const std::string block =
      "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nHost: h\r\nSet-Cookie: a=1; path=/\r\n";
  struct Case {
    std::string headers, name, value;
  } cases[] = {
      {block, "Connection", "keep-alive"},
      {block, "connection", ""},
      {block, "Host", "h"},
      {block, "Set-Cookie", "a=1; path=/"},
      {block, "Missing", ""},
      {"", "Host", ""},
      {"Host:h", "Host", ""},  // no space after the colon
      // Only the first line that begins with the name is read, even when it names another header.
      {"Connection-X: y\r\nConnection: keep-alive", "Connection", ""},
      {"Location: /a?next=Location: /b", "Location", "/b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetHeaderValue(c.headers, c.name), c.value) << c.name;
  }
}

TEST(TextSearch, NormaliseHeaderNames) {
  struct Case {
    std::string headers, normalised;
  } cases[] = {
      {"user-agent: X\r\naccept-language: zh-cn\r\n", "User-Agent: X\r\nAccept-Language: zh-cn"},
      {"x-REQUESTED-with: a-b", "X-REQUESTED-With: a-b"},
      {"referer: x\r\n\r\nbad line\r\n", "Referer: x"},
      {"", ""},
      {"no colon\r\n\r\n", ""},
      {"a--b-: v", "A--B-: v"},
      {"host: a-b:c-d\r\ncookie: k=v-w", "Host: a-b:c-d\r\nCookie: k=v-w"},
      {"1st-9x: v", "1st-9x: v"},
      {": v", ": v"},
      {kZhong + "-ab: v", kZhong + "-Ab: v"},
      {"a:\r\n\r\nb:", "A:\r\nB:"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormaliseHeaderNames(c.headers), c.normalised) << testing::PrintToString(c.headers);
  }
}

TEST(TextSearch, CapitaliseFirst) {
  struct Case {
    std::string text, capitalised;
  } cases[] = {
      {"", ""},     {"a", "A"},       {"abc", "Abc"}, {"Abc", "Abc"},
      {"1a", "1a"}, {kZhong, kZhong}, {"{a", "{a"},   {"`a", "`a"},
  };
  for (const auto& c : cases) EXPECT_EQ(CapitaliseFirst(c.text), c.capitalised) << c.text;
}

TEST(TextSearch, MergeCookies) {
  struct Case {
    std::string oldCookies, newCookies, merged;
  } cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"a=1; b=2", "b=deleted", "a=1"},
      {"a=1;", "", "a=1"},
      {"", "", ""},
      {"a=1; a=2", "", "a=1"},
      {"", "x=1; x=1", "x=1"},
      {"a=1; b=2", "b=2", "b=2; a=1"},
      {"a=1", "b=2;", "b=2; a=1"},
      {"A=1", "a=2", "a=2; A=1"},          // names keep their case
      {"a=1", "x=1;  a=9", "x=1;  a=9"},   // names are trimmed
      {"flag; a=1", "flag", "flag; a=1"},  // an item without "=" is its own name
      {"a=deleted; b=1", "", "b=1"},       // deleted old items go too
      {"a=1", "a=deleted; a=5", "a=5"},
      {"a=1", "x=undeleted", "x=undeleted; a=1"},  // only the last eight characters count
      {kWideSpace + "a=1 " + kWideSpace, "", "a=1"},
      {"n=" + kZhong, "m=" + kA, "m=" + kA + "; n=" + kZhong},
      {"a=1; b=2", "b=3\r\n", "b=3\r\n; a=1"},  // only spaces are trimmed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("old=" + c.oldCookies + " new=" + c.newCookies);
    Text cookies = c.oldCookies;
    EXPECT_EQ(MergeCookies(cookies, c.newCookies), c.merged);
    EXPECT_EQ(cookies, c.merged);
  }
}

TEST(TextSearch, MergeCookiesWithItsOwnVariableAsNewText) {
  Text cookies = "a=1; b=deleted; a=1";
  EXPECT_EQ(MergeCookies(cookies, cookies), "a=1");
  EXPECT_EQ(cookies, "a=1");
}

TEST(TextSearch, CookieItems) {
  struct Case {
    std::string item, name;
  } cases[] = {
      {"a=1", "a"}, {" a =1", "a"}, {"flag", "flag"},
      {"=x", ""},   {"a=b=c", "a"}, {kWideSpace + kZhong + "=1", kZhong},
  };
  for (const auto& c : cases) EXPECT_EQ(CookieName(c.item), c.name) << c.item;

  const std::vector<Text> items = {"a=1", " b=2", "c"};
  EXPECT_TRUE(HasCookieName(items, "b"));
  EXPECT_TRUE(HasCookieName(items, "c"));
  EXPECT_FALSE(HasCookieName(items, "B"));
  EXPECT_FALSE(HasCookieName(items, "a=1"));
  EXPECT_FALSE(HasCookieName(std::vector<Text>{}, "a"));
}

TEST(TextSearch, RemoveDuplicateItemsAndFindItem) {
  struct Case {
    std::string text, separator, unique;
  } cases[] = {
      {"a; b; a", "; ", "a; b"},      {"", "; ", ""},
      {"a; a; ", "; ", "a"},          {"x,y,x,X", ",", "x,y,X"},
      {"a; ; b; ; ", "; ", "a; ; b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemoveDuplicateItems(c.text, c.separator), c.unique) << c.text;
  }

  const std::vector<Text> list = {"a", "b", "a", ""};
  EXPECT_EQ(FindItem(list, "a"), 1);
  EXPECT_EQ(FindItem(list, "b"), 2);
  EXPECT_EQ(FindItem(list, ""), 4);
  EXPECT_EQ(FindItem(list, "A"), -1);
  EXPECT_EQ(FindItem(std::vector<Text>{}, "a"), -1);
}

}  // namespace
}  // namespace sucaigang
