#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "script/date_time.h"
#include "script/network_time.h"
#include "script/time_text.h"
#include "support/raw_http_server.h"
#include "support/scoped_time_zone.h"

namespace sucaigang {
namespace {
using testing::ScopedTimeZone;

using test::RawHttpServer;

std::string Show(const DateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

// A port on 127.0.0.1 that refuses connections: bound once, then closed.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

TEST(DateTimeTest, FieldsAreClampedIntoRange) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* expected;
  } cases[] = {
      {2023, 2, 30, 12, 0, 0, "2023-02-28 12:00:00"},
      {2024, 2, 31, 0, 0, 0, "2024-02-29 00:00:00"},
      {1900, 2, 29, 0, 0, 0, "1900-02-28 00:00:00"},  // no leap year
      {2000, 2, 29, 0, 0, 0, "2000-02-29 00:00:00"},
      {2023, 4, 31, 0, 0, 0, "2023-04-30 00:00:00"},
      {0, 0, 0, 0, 0, 0, "0100-01-01 00:00:00"},
      {99, 13, 32, 24, 60, 60, "0100-12-31 23:59:59"},
      {10000, -1, -5, -1, -1, -1, "9999-01-01 00:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(MakeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second)), c.expected)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(DateTimeTest, ArithmeticCarriesIntoTheDate) {
  EXPECT_EQ(Show(AddHours(MakeDateTime(2020, 12, 31, 23, 30, 0), 8)), "2021-01-01 07:30:00");
  EXPECT_EQ(Show(AddHours(MakeDateTime(2024, 2, 28, 20, 0, 0), 8)), "2024-02-29 04:00:00");
  EXPECT_EQ(Show(AddHours(MakeDateTime(2023, 2, 28, 20, 0, 0), 8)), "2023-03-01 04:00:00");
  EXPECT_EQ(Show(AddSeconds(MakeDateTime(2021, 3, 1, 0, 0, 0), -1)), "2021-02-28 23:59:59");
  EXPECT_EQ(Show(AddSeconds(MakeDateTime(1970, 1, 1, 8, 0, 0), 1595246400)), "2020-07-20 20:00:00");
  // The ends of the range hold.
  EXPECT_EQ(Show(AddHours(MakeDateTime(9999, 12, 31, 20, 0, 0), 8)), "9999-12-31 23:59:59");
  EXPECT_EQ(Show(AddSeconds(MakeDateTime(100, 1, 1, 0, 0, 0), -1)), "0100-01-01 00:00:00");
  EXPECT_EQ(Show(AddSeconds(MakeDateTime(2000, 1, 1), INT64_MAX)), "9999-12-31 23:59:59");
  EXPECT_EQ(Show(AddSeconds(MakeDateTime(2000, 1, 1), INT64_MIN)), "0100-01-01 00:00:00");
}

TEST(HttpDateToTimeTest, ShiftsServerTimeByEightHours) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {" Tue, 21 Jul 2020 12:00:00 GMT", "2020-07-21 20:00:00"},
      {"Tue, 21 Jul 2020 12:00:00 GMT", "2020-07-21 20:00:00"},
      {" Thu, 31 Dec 2020 23:30:00 GMT", "2021-01-01 07:30:00"},
      {" Sun, 28 Feb 2016 16:00:00 GMT", "2016-02-29 00:00:00"},
      {" Sunday, 06-Nov-94 08:49:37 GMT", "1994-11-06 16:49:37"},  // RFC 850
      {" Sun Nov  6 08:49:37 1994", "1994-11-06 16:49:37"},        // asctime
      // Unreadable: all fields zero, clamped to 0100-01-01 00:00:00, then shifted.
      {"", "0100-01-01 08:00:00"},
      {"no date here", "0100-01-01 08:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(HttpDateToTime(c.text)), c.expected) << "'" << c.text << "'";
  }
}

TEST(HttpDateToTimeTest, IgnoresTheComputersTimeZone) {
  ScopedTimeZone zone("EST5EDT");
  EXPECT_EQ(Show(HttpDateToTime("Tue, 21 Jul 2020 12:00:00 GMT")), "2020-07-21 20:00:00");
}

TEST(TimestampTextTest, TenDigitsCountFromTheShiftedEpochInEitherClock) {
  struct Case {
    const char* timestamp;
    int clock;
    const char* expected;
  } cases[] = {
      {"1595246400", kClock24Hour, "2020-07-20 20:00:00"},  // 2020-07-20 12:00:00 UTC
      {"1595246400", kClock12Hour, "2020-07-20 08:00:00"},  // no AM/PM marker
      {"1595260800", kClock24Hour, "2020-07-21 00:00:00"},
      {"1595260800", kClock12Hour, "2020-07-21 12:00:00"},  // midnight on the 12-hour clock
      {"1595250000", kClock12Hour, "2020-07-20 09:00:00"},
      {"0000000000", kClock24Hour, "1970-01-01 08:00:00"},
      {"abcdefghij", kClock24Hour, "1970-01-01 08:00:00"},  // not a number: 0
      {"12345abcde", kClock24Hour, "1970-01-01 11:25:45"},  // leading digits only
      {"-123456789", kClock24Hour, "1970-01-01 08:00:00"},
      {"9999999999", kClock24Hour, "2286-11-21 01:46:39"},
  };
  for (const char* zone : {"UTC0", "CST-8", "EST5EDT", "NZST-12NZDT"}) {
    ScopedTimeZone scoped(zone);
    for (const Case& c : cases) {
      EXPECT_EQ(TimestampText(c.timestamp, c.clock), c.expected)
          << zone << " " << c.timestamp << " clock " << c.clock;
    }
  }
}

TEST(TimestampTextTest, WithoutClockTheLocaleChooses) {
  const std::string expected =
      LocaleClockIs24Hour() == 1 ? "2020-07-20 20:00:00" : "2020-07-20 08:00:00";
  EXPECT_EQ(TimestampText("1595246400"), expected);
  EXPECT_EQ(TimestampText("1595246400", 7), expected);
}

TEST(TimestampTextTest, OtherLengthsAreMillisecondsInLocalTime) {
  struct Case {
    const char* zone;
    const char* timestamp;
    const char* expected;
  } cases[] = {
      {"CST-8", "1595246400000", "2020-07-20 20:00:00"},
      {"UTC0", "1595246400000", "2020-07-20 12:00:00"},
      {"EST5EDT", "1595246400000", "2020-07-20 08:00:00"},  // summer time
      {"EST5EDT", "1577934245000", "2020-01-01 22:04:05"},  // winter time
      {"UTC0", "1577934245999", "2020-01-02 03:04:05"},     // two-digit month and day
      {"UTC0", "-1000", "1969-12-31 23:59:59"},
      {"UTC0", "-1", "1969-12-31 23:59:59"},
      {"UTC0", " 1595246400000 ", "2020-07-20 12:00:00"},
      {"UTC0", "1.5952464e12", "2020-07-20 12:00:00"},
      {"UTC0", "0", "1970-01-01 00:00:00"},
      // Unusable: empty, not a number, out of the engine's date range.
      {"UTC0", "", ""},
      {"UTC0", "   ", ""},
      {"UTC0", "12x", ""},
      {"UTC0", "0x10", ""},
      {"UTC0", "Infinity", ""},
      {"UTC0", "1e400", ""},
      {"UTC0", "8640000000000001", ""},
  };
  for (const Case& c : cases) {
    ScopedTimeZone scoped(c.zone);
    EXPECT_EQ(TimestampText(c.timestamp, kClock12Hour), c.expected)
        << c.zone << " '" << c.timestamp << "'";
  }
}

TEST(FormatDateTimeTest, PicturesGiveTheirDigits) {
  const DateTime t = MakeDateTime(2020, 7, 5, 13, 4, 9);
  struct Case {
    const char* date;
    const char* time;
    int force24;
    const char* expected;
  } cases[] = {
      {"yyyy-MM-dd ", "hh:mm:ss", 0, "2020-07-05 01:04:09"},
      {"yyyy-MM-dd ", "HH:mm:ss", 0, "2020-07-05 13:04:09"},
      {"yyyy-MM-dd ", "hh:mm:ss", 1, "2020-07-05 13:04:09"},
      {"d/M/yy ", "h:m:s tt", 0, "5/7/20 1:4:9 PM"},
      {"d/M/y ", "H.mm t", 0, "5/7/20 13.04 P"},
      {"dddd, MMMM", "", 0, "Sunday, July"},
      {"ddd MMM", "", 0, "Sun Jul"},
      {"'day' dd", "'h'HH", 0, "day 05h13"},
      {"yy", "HH", 0, ""},  // pictures under three characters add nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDateTime(t, c.date, c.time, c.force24), c.expected) << c.date << "|" << c.time;
  }
  EXPECT_EQ(FormatDateTime(MakeDateTime(100, 1, 1), "yyyy-MM-dd ", "hh:mm:ss", 0),
            "0100-01-01 12:00:00");
}

TEST(LocaleClockTest, TimeFormatsDecideTheClock) {
  struct Case {
    const char* format;
    int expected;
  } cases[] = {
      {"%H:%M:%S", 1}, {"%T", 1},          {"%R", 1},          {"%k:%M", 1},
      {"%OH:%M", 1},   {"%I:%M:%S %p", 0}, {"%r", 0},          {"%l:%M %p", 0},
      {"%-I:%M", 0},   {"%%H %I:%M", 0},   {"%p %I时%M分", 0}, {"", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockIs24HourFromTimeFormat(c.format), c.expected) << c.format;
  }
}

TEST(LocaleClockTest, TheCLocaleUsesTheTwentyFourHourClock) {
  const char* old = std::getenv("LC_ALL");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(LocaleClockIs24Hour(), 1);
  if (saved) {
    setenv("LC_ALL", saved->c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

TEST(PadZerosTest, FillsUpToTheWidth) {
  EXPECT_EQ(PadZeros("7", 2), "07");
  EXPECT_EQ(PadZeros("12", 2), "12");
  EXPECT_EQ(PadZeros("123", 2), "123");
  EXPECT_EQ(PadZeros("", 3), "000");
  EXPECT_EQ(PadZeros("5", 0), "5");
  EXPECT_EQ(PadZeros("5", -3), "5");
}

std::string DateAnswer(const std::string& date) {
  return RawHttpServer::Answer("HTTP/1.1 200 OK", "Date: " + date + "\r\nServer: t\r\n", "");
}

TEST(NetworkTimeTest, ReadsTheDateHeaderOfAHeadRequest) {
  RawHttpServer server(DateAnswer("Tue, 21 Jul 2020 12:00:00 GMT"));
  EXPECT_EQ(Show(NetworkTime(server.Url())), "2020-07-21 20:00:00");
  const std::string head = RawHttpServer::HeadOf(server.WaitForRequest());
  EXPECT_TRUE(head.starts_with("HEAD / HTTP/1.1\r\n")) << head;
  EXPECT_NE(head.find("\r\nReferer: " + server.Url() + "\r\n"), std::string::npos) << head;
}

TEST(NetworkTimeTest, FollowsRedirectsToTheDate) {
  RawHttpServer target(DateAnswer("Thu, 31 Dec 2020 23:30:00 GMT"));
  RawHttpServer redirect(
      RawHttpServer::Answer("HTTP/1.1 302 Found", "Location: " + target.Url() + "\r\n", ""));
  EXPECT_EQ(Show(NetworkTime(redirect.Url())), "2021-01-01 07:30:00");
}

TEST(NetworkTimeTest, NoUsableAnswerGivesTheFloorTime) {
  RawHttpServer noDate(RawHttpServer::Answer("HTTP/1.1 200 OK", "Server: t\r\n", ""));
  RawHttpServer badDate(DateAnswer("yesterday"));
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
  for (const std::string& address : {closed, noDate.Url(), badDate.Url(), std::string("")}) {
    EXPECT_EQ(Show(NetworkTime(address)), "0100-01-01 08:00:00") << address;
  }
}

TEST(NetworkTimeTest, WithoutAddressAsksTheConfiguredSite) {
  RawHttpServer server(DateAnswer("Tue, 21 Jul 2020 12:00:00 GMT"));
  const Text saved = TimeSiteAddress();
  SetTimeSiteAddress(server.Url());
  EXPECT_EQ(Show(NetworkTime()), "2020-07-21 20:00:00");
  SetTimeSiteAddress(saved);
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace sucaigang
