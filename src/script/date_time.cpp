#include "script/date_time.h"

#include <curl/curl.h>

#include <algorithm>
#include <string>

namespace sucaigang {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 0001-01-01 (day 0) in the proleptic Gregorian calendar.
constexpr std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  // 719468 days lie between 0000-03-01 and 1970-01-01; 719162 between 0001-01-01 and 1970-01-01.
  return era * 146097 + dayOfEra - 719468 + 719162;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  const std::int64_t z = days - 719162 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr std::int64_t ToSeconds(const DateTime& time) {
  return DaysFromCivil(time.year, time.month, time.day) * kSecondsPerDay + time.hour * 3600 +
         time.minute * 60 + time.second;
}

constexpr std::int64_t kFirstSecond = ToSeconds(DateTime{100, 1, 1, 0, 0, 0});
constexpr std::int64_t kLastSecond = ToSeconds(DateTime{9999, 12, 31, 23, 59, 59});

DateTime FromSecondsSinceYearOne(std::int64_t seconds) {
  seconds = std::clamp(seconds, kFirstSecond, kLastSecond);
  DateTime time;
  const std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  CivilFromDays(days, time.year, time.month, time.day);
  time.hour = static_cast<int>(rest / 3600);
  rest %= 3600;
  time.minute = static_cast<int>(rest / 60);
  time.second = static_cast<int>(rest % 60);
  return time;
}

}  // namespace

DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second) {
  DateTime time;
  time.year = std::clamp(year, 100, 9999);
  time.month = std::clamp(month, 1, 12);
  time.day = std::clamp(day, 1, DaysInMonth(time.year, time.month));
  time.hour = std::clamp(hour, 0, 23);
  time.minute = std::clamp(minute, 0, 59);
  time.second = std::clamp(second, 0, 59);
  return time;
}

std::int64_t SecondsSinceYearOne(const DateTime& time) { return ToSeconds(time); }

DateTime AddSeconds(const DateTime& time, std::int64_t seconds) {
  // Far beyond the range either way: stop there before the sum could overflow.
  seconds = std::clamp<std::int64_t>(seconds, -kLastSecond, kLastSecond);
  return FromSecondsSinceYearOne(SecondsSinceYearOne(time) + seconds);
}

DateTime AddHours(const DateTime& time, std::int64_t hours) {
  hours = std::clamp<std::int64_t>(hours, -kLastSecond / 3600, kLastSecond / 3600);
  return AddSeconds(time, hours * 3600);
}

DateTime HttpDateToTime(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const std::string date(text.substr(0, text.find('\0')));
  const time_t parsed = curl_getdate(date.c_str(), nullptr);
  if (parsed != -1) {
    const DateTime utc = AddSeconds(DateTime{1970, 1, 1, 0, 0, 0}, parsed);
    year = utc.year;
    month = utc.month;
    day = utc.day;
    hour = utc.hour;
    minute = utc.minute;
    second = utc.second;
  }
  return AddHours(MakeDateTime(year, month, day, hour, minute, second), 8);
}

}  // namespace sucaigang
