#pragma once
// A calendar date and time of day in whole seconds, years 100 to 9999, and the routines that
// turn network and timestamp texts into it.
#include <compare>
#include <cstdint>
#include <string_view>

namespace sucaigang {

struct DateTime {
  int year = 100;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  auto operator<=>(const DateTime&) const = default;
};

// Each field clamped into its range before use: year 100..9999, month 1..12, day 1..31 and then
// to the month's length, hour 0..23, minute 0..59, second 0..59.
DateTime MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Carries into the date; a result outside years 100..9999 stops at the nearest end of the range.
DateTime AddSeconds(const DateTime& time, std::int64_t seconds);
DateTime AddHours(const DateTime& time, std::int64_t hours);

// Seconds since 0001-01-01 00:00:00 of the proleptic Gregorian calendar; inverse of the above.
std::int64_t SecondsSinceYearOne(const DateTime& time);

// An HTTP date as servers send it in "Date:", shifted by a fixed +8 hours. A text that does not
// parse reads as all-zero fields, which clamp to 0100-01-01 00:00:00 (so 08:00:00 comes back).
DateTime HttpDateToTime(std::string_view text);

}  // namespace sucaigang
