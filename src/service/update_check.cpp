#include "service/update_check.h"

#include <chrono>
#include <ctime>
#include <string>

#include "app/activity_log.h"
#include "app/program_paths.h"
#include "http/http_request.h"
#include "script/json_document.h"
#include "script/time_text.h"
#include "service/protocol.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

// Leading decimal digits as a number; 0 when there are none. Saturates instead of overflowing.
long long VersionNumber(const Text& text) {
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    number = number > 1'000'000'000'000LL ? number : number * 10 + (c - '0');
  }
  return number;
}

// Seconds from the local time 1970-01-01 08:00:00 to the local time `now`.
long long LocalSecondsSinceUtc8Epoch(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  // Treat the local calendar time as if it were UTC, then count from 08:00:00 on the epoch day.
  return static_cast<long long>(timegm(&local)) - 8 * 3600;
}

}  // namespace

Text UnixSecondsText() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto sinceEpoch = now.time_since_epoch();
  const long long milliseconds =
      duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  const std::time_t seconds = system_clock::to_time_t(time_point_cast<std::chrono::seconds>(now));
  Text text = std::to_string(LocalSecondsSinceUtc8Epoch(seconds)) +
              PadZeros(std::to_string(milliseconds), 3);
  text.resize(10, '0');
  return text;
}

void UpdateCheck(const FlowContext& context, const UpdateDownloadStarter& startDownload) {
  Window& window = context.window;
  JsonDocument answer;
  answer.Parse(Utf8ToGbk(HttpRequest(VersionAddress(context.endpoints, UnixSecondsText()))));

  if (answer.GetText("state") != "0") {
    window.MessageBox("服务器连接失败！"_gbk);
    LogLine(window, "服务器连接失败，请检查网络是否连接或者联系管理员。"_gbk);
    window.OpenInBrowser(context.endpoints.webHome);
    return;
  }

  const Text version = answer.GetText("version");
  const Text address = answer.GetText("versionURL");
  if (VersionNumber(version) <= kVersionBound) {
    window.SetEnabled("按钮_登陆", true);
    window.SetTitle("素材港解析软件永久免费版 "_gbk + version);
    const Text message = answer.GetText("msg");
    if (!message.empty()) LogLine(window, message);
    return;
  }

  if (window.AskYesNo("发现新版本"_gbk + version + " 请更新下载。"_gbk, "更新提示"_gbk)) {
    window.SetVisible("进度条_更新", true);
    // Beside the program, behind the platform's separator: a backslash would be part of the name.
    // Paths are Text (GBK) like every other value; the folder comes from the system in UTF-8.
    const Text target = Utf8ToGbk(ProgramFolder()) + "/" + "素材港解析软件"_gbk + version + ".exe";
    if (startDownload) startDownload(address, target);
    return;
  }
  window.SetEnabled("按钮_登陆", true);
  const Text title = "素材港解析软件永久免费版  有新版【"_gbk + version + "】请更新←"_gbk;
  window.SetTitle(title);
  LogLine(window, title);
}

}  // namespace sucaigang
