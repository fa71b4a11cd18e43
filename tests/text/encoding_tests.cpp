#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace sucaigang {
namespace {

using namespace std::string_literals;

const std::string kZhongGbk = "\xD6\xD0";       // 中
const std::string kZhongUtf8 = "\xE4\xB8\xAD";  // 中
const std::string kZhongWide = "\x2D\x4E"s;     // U+4E2D

TEST(Encoding, TerminatorRules) {
  EXPECT_EQ(GbkToWide(""), "");
  EXPECT_EQ(GbkToWide("A"), "A\0\0\0"s);
  EXPECT_EQ(GbkToWide(kZhongGbk), kZhongWide + "\0\0"s);
  // Input is read up to its first zero byte / zero unit.
  EXPECT_EQ(MultiByteToWideBytes("\0abc"s, kCodePageGbk), "");
  EXPECT_EQ(MultiByteToWideBytes("a\0b"s, kCodePageUtf8), "a\0\0\0"s);
  EXPECT_EQ(WideToGbk("A\0\0\0B\0"s), "A");
  EXPECT_EQ(WideBytesToMultiByte("\0\0A\0"s, kCodePageUtf8), "");
  EXPECT_EQ(WideBytesToMultiByte("", kCodePageGbk), "");
  // An odd last byte reads as the low byte of a unit.
  EXPECT_EQ(WideToGbk("A\0B"s), "AB");
}

TEST(Encoding, RoundTrips) {
  struct Case {
    std::string gbk, utf8;
  } cases[] = {
      {"", ""},
      {"plain ascii", "plain ascii"},
      {kZhongGbk, kZhongUtf8},
      {"\x80", "\xE2\x82\xAC"},  // glibc's CP936 maps 0x80 to the euro sign
      {"a\xCB\xD8\xB2\xC4\xB8\xDB b", "a\xE7\xB4\xA0\xE6\x9D\x90\xE6\xB8\xAF b"},  // 素材港
      {"\xA1\xA1", "\xE3\x80\x80"},  // full-width space
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.gbk;
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
    EXPECT_EQ(WideToGbk(GbkToWide(c.gbk)), c.gbk);
  }
}

TEST(Encoding, InvalidAndUnmappableInputIsReplaced) {
  // A byte that is not UTF-8 becomes U+FFFD, which GBK cannot hold: "?".
  EXPECT_EQ(Utf8ToGbk("a\xFF"
                      "b"),
            "a?b");
  EXPECT_EQ(Utf8ToGbk("a\xE4\xB8"), "a??");  // cut-off sequence at the end
  // A character GBK has no code for.
  EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x??y");  // emoji: two UTF-16 units
  EXPECT_EQ(Utf8ToGbk("\xE2\x82\xA9"), "?");           // won sign
  // Invalid GBK becomes U+FFFD towards UTF-16 and UTF-8.
  EXPECT_EQ(GbkToWide("\xFF"
                      "A"),
            "\xFD\xFF"
            "A\0\0\0"s);
  EXPECT_EQ(GbkToUtf8("A\x81"), "A\xEF\xBF\xBD");
  // A lone surrogate in UTF-16 towards GBK.
  EXPECT_EQ(WideToGbk("\x00\xD8"
                      "A\0"s),
            "?A");
}

TEST(Encoding, PercentEncoding) {
  struct Case {
    std::string in;
    bool keepUnreserved, asUtf8;
    std::string out;
  } cases[] = {
      {"a b", false, false, "%61+%62"},
      {"a b", true, true, "a+b"},
      {kZhongGbk, true, true, "%E4%B8%AD"},
      {kZhongGbk, true, false, "%D6%D0"},
      {"ab", false, false, "%61%62"},
      {"a~!", true, false, "a%7E%21"},
      {"Az09-_.'()*", true, false, "Az09-_.'()*"},
      {"x&user=o#%+", true, false, "x%26user%3Do%23%25%2B"},
      {"", true, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlEncode(c.in, c.keepUnreserved, c.asUtf8), c.out) << c.in;
  }
  EXPECT_EQ(PercentEncodeBytes("a\0b"s, true), "ab");
}

}  // namespace
}  // namespace sucaigang
