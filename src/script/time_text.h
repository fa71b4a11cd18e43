#pragma once
// Texts of times: Unix timestamps as the login flow shows them, and a small date and time
// picture formatter with the pictures this program uses.
#include <string_view>

#include "script/date_time.h"
#include "text/text.h"

namespace sucaigang {

// `clock` for TimestampText: 1 the 12-hour form, 2 the 24-hour form, anything else asks
// LocaleClockIs24Hour.
inline constexpr int kClock12Hour = 1;
inline constexpr int kClock24Hour = 2;

// A 10-character text is Unix seconds, counted from 1970-01-01 08:00:00 (the epoch already in
// UTC+8, whatever the computer's zone), "yyyy-MM-dd hh:mm:ss" or "yyyy-MM-dd HH:mm:ss"; a text
// not beginning with digits counts as 0. Any other length is a millisecond timestamp shown as
// the computer's local time, always "yyyy-MM-dd HH:mm:ss"; empty when it is no usable number.
Text TimestampText(std::string_view timestamp, int clock = 0);

// Date picture (d dd ddd dddd M MM MMM MMMM y yy yyyy, 'quoted' literals) followed by time
// picture (h hh H HH m mm s ss t tt); a picture shorter than 3 characters adds nothing, and
// `force24` 1 shows h/hh as H/HH. Names and markers are the C locale's (English, AM/PM).
Text FormatDateTime(const DateTime& time, std::string_view datePicture,
                    std::string_view timePicture, int force24);

// 1 when the user's time format (LC_TIME from the environment, as the C library reads it)
// uses the 24-hour clock, 0 for the 12-hour clock.
int LocaleClockIs24Hour();
// The same decision for one strftime-style time format, such as nl_langinfo(T_FMT) gives.
int ClockIs24HourFromTimeFormat(std::string_view timeFormat);

// "0" characters put in front up to `width`; a longer text comes back unchanged.
Text PadZeros(std::string_view text, int width);

}  // namespace sucaigang
