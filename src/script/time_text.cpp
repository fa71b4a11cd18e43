#include "script/time_text.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace sucaigang {
namespace {

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
// The formatting routines write into 50-byte buffers; a longer part does not fit and is dropped.
constexpr std::size_t kPartCapacity = 49;

Text Number(long long value, int width) { return PadZeros(std::to_string(value), width); }

int DayOfWeek(const DateTime& time) {
  // 0001-01-01 was a Monday.
  return static_cast<int>((SecondsSinceYearOne(time) / 86400 + 1) % 7);
}

// Runs of one code letter are read greedily; quoted text is copied without its quotes ('' is
// one quote); any other character stands for itself.
template <typename EmitCode>
Text FormatPicture(std::string_view picture, std::string_view codes, EmitCode emit) {
  Text out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    if (codes.find(c) == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    out += emit(c, run);
    i += run;
  }
  return out;
}

Text DatePart(const DateTime& time, std::string_view picture) {
  return FormatPicture(picture, "dMyg", [&](char code, std::size_t run) -> Text {
    switch (code) {
      case 'd':
        if (run <= 2) return Number(time.day, static_cast<int>(run));
        return run == 3 ? Text(kDayNames[DayOfWeek(time)]).substr(0, 3)
                        : Text(kDayNames[DayOfWeek(time)]);
      case 'M':
        if (run <= 2) return Number(time.month, static_cast<int>(run));
        return run == 3 ? Text(kMonthNames[time.month - 1]).substr(0, 3)
                        : Text(kMonthNames[time.month - 1]);
      case 'y':
        if (run == 1) return Number(time.year % 100, 1);
        if (run == 2) return Number(time.year % 100, 2);
        return Number(time.year, 4);
      default:  // era
        return "A.D.";
    }
  });
}

Text TimePart(const DateTime& time, std::string_view picture, bool force24) {
  return FormatPicture(picture, "hHmst", [&](char code, std::size_t run) -> Text {
    const int width = run >= 2 ? 2 : 1;
    switch (code) {
      case 'h':
        if (!force24) return Number(time.hour % 12 == 0 ? 12 : time.hour % 12, width);
        [[fallthrough]];
      case 'H':
        return Number(time.hour, width);
      case 'm':
        return Number(time.minute, width);
      case 's':
        return Number(time.second, width);
      default: {  // t: the marker, or its first letter
        const Text marker = time.hour < 12 ? "AM" : "PM";
        return run >= 2 ? marker : marker.substr(0, 1);
      }
    }
  });
}

Text Fitting(Text part) { return part.size() <= kPartCapacity ? part : Text(); }

// A millisecond timestamp as the script engine's setTime reads it: a decimal number, possibly
// signed, with fraction or exponent, surrounded by white space. Empty, partly numeric, not finite
// or outside the engine's date range (8.64e15 ms either side of the epoch) is unusable.
bool ReadMilliseconds(std::string_view text, std::int64_t& milliseconds) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  if (text.empty()) return false;
  bool anyDigit = false;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      anyDigit = true;
    } else if (std::string_view("+-.eE").find(c) == std::string_view::npos) {
      return false;
    }
  }
  if (!anyDigit) return false;
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || std::fabs(value) > 8.64e15) {
    return false;
  }
  milliseconds = static_cast<std::int64_t>(std::trunc(value));
  return true;
}

Text LocalTimeText(std::int64_t milliseconds) {
  // Floor division: -1 ms is the last second before the epoch.
  std::int64_t seconds = milliseconds / 1000;
  if (milliseconds % 1000 < 0) --seconds;
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return {};
  const long long year = static_cast<long long>(local.tm_year) + 1900;
  if (year < 1) return {};
  return std::to_string(year) + "-" + Number(local.tm_mon + 1, 2) + "-" + Number(local.tm_mday, 2) +
         " " + Number(local.tm_hour, 2) + ":" + Number(local.tm_min, 2) + ":" +
         Number(local.tm_sec, 2);
}

}  // namespace

Text PadZeros(std::string_view text, int width) {
  Text out;
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    out.assign(static_cast<std::size_t>(width) - text.size(), '0');
  }
  out += text;
  return out;
}

Text FormatDateTime(const DateTime& time, std::string_view datePicture,
                    std::string_view timePicture, int force24) {
  Text out;
  if (datePicture.size() >= 3) out += Fitting(DatePart(time, datePicture));
  if (timePicture.size() >= 3) out += Fitting(TimePart(time, timePicture, force24 == 1));
  return out;
}

int ClockIs24HourFromTimeFormat(std::string_view timeFormat) {
  for (std::size_t i = 0; i < timeFormat.size(); ++i) {
    if (timeFormat[i] != '%') continue;
    // Skip glibc's flags, a width and the E/O modifiers between "%" and the conversion.
    std::size_t j = i + 1;
    while (j < timeFormat.size() &&
           (std::string_view("-_0^#EO").find(timeFormat[j]) != std::string_view::npos ||
            std::isdigit(static_cast<unsigned char>(timeFormat[j])))) {
      ++j;
    }
    if (j >= timeFormat.size()) break;
    switch (timeFormat[j]) {
      case 'H':
      case 'k':
      case 'R':
      case 'T':
        return 1;
      case 'I':
      case 'l':
      case 'r':
        return 0;
      default:
        break;
    }
    i = j;
  }
  return 1;
}

int LocaleClockIs24Hour() {
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) {
    user = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    if (user == static_cast<locale_t>(0)) return 1;
  }
  const int result = ClockIs24HourFromTimeFormat(nl_langinfo_l(T_FMT, user));
  freelocale(user);
  return result;
}

Text TimestampText(std::string_view timestamp, int clock) {
  timestamp = UntilZero(timestamp);
  if (timestamp.size() == 10) {
    std::int64_t seconds = 0;
    for (char c : timestamp) {
      if (c < '0' || c > '9') break;
      seconds = seconds * 10 + (c - '0');
    }
    const DateTime time = AddSeconds(DateTime{1970, 1, 1, 8, 0, 0}, seconds);
    bool use24 = false;
    if (clock == kClock12Hour) {
      use24 = false;
    } else if (clock == kClock24Hour) {
      use24 = true;
    } else {
      use24 = LocaleClockIs24Hour() == 1;
    }
    return FormatDateTime(time, "yyyy-MM-dd ", use24 ? "HH:mm:ss" : "hh:mm:ss", 0);
  }
  std::int64_t milliseconds = 0;
  if (!ReadMilliseconds(timestamp, milliseconds)) return {};
  return LocalTimeText(milliseconds);
}

}  // namespace sucaigang
