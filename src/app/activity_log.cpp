#include "app/activity_log.h"

#include <string>

#include "script/network_time.h"
#include "text/encoding.h"

namespace sucaigang {

Text LogTimeText(const DateTime& time) {
  static const Text kYear = "年"_gbk, kMonth = "月"_gbk, kDay = "日"_gbk, kHour = "时"_gbk,
                    kMinute = "分"_gbk, kSecond = "秒"_gbk;
  Text text = std::to_string(time.year) + kYear + std::to_string(time.month) + kMonth +
              std::to_string(time.day) + kDay;
  if (time.second != 0) {
    text += std::to_string(time.hour) + kHour + std::to_string(time.minute) + kMinute +
            std::to_string(time.second) + kSecond;
  } else if (time.minute != 0) {
    text += std::to_string(time.hour) + kHour + std::to_string(time.minute) + kMinute;
  } else if (time.hour != 0) {
    text += std::to_string(time.hour) + kHour;
  }
  return text;
}

Text LogEntryText(const DateTime& time, const Text& message) {
  return LogTimeText(time) + "\r\n" + message + "\r\n";
}

void LogLine(Window& window, const Text& message) {
  // One AppendText per entry: entries from several threads never mix.
  window.AppendText("编辑框2", LogEntryText(NetworkTime(), Text(UntilZero(message))));
}

}  // namespace sucaigang
