// Downloads one address into one file with HttpFileDownload, the way the launcher's worker
// does, with a progress routine that builds the window's read-out for every report.
//   download_driver [--ca FILE] [--buffer BYTES] [--staging BYTES] [--quiet] URL PATH
// Exit status 0 when the download ended complete, 1 when it failed, 2 on a usage error.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "download/http_file_download.h"
#include "threads/event.h"

namespace {

using sucaigang::Text;

// n / 1048576 rounded to 2 places, "%.13g", then "MB" (the window's amount text).
std::string AmountText(std::int64_t n) {
  double mb = std::round(static_cast<double>(n) / 1048576.0 * 100.0) / 100.0;
  char text[64];
  std::snprintf(text, sizeof text, "%.13gMB", mb);
  return text;
}

struct Outcome {
  std::mutex mutex;
  std::string readOut;
  std::atomic<bool> failed{false};
  std::atomic<bool> complete{false};
  std::atomic<std::int64_t> received{0};
};

int Usage() {
  std::fprintf(stderr,
               "usage: download_driver [--ca FILE] [--buffer BYTES] [--staging BYTES] [--quiet] "
               "URL PATH\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  sucaigang::DownloadSettings settings;
  bool quiet = false;
  std::string url, path;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--ca" && hasValue) {
      settings.extraCaFile = argv[++i];
    } else if (arg == "--buffer" && hasValue) {
      settings.bufferSize = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--staging" && hasValue) {
      settings.stagingCapacity = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (url.empty()) {
      url = arg;
    } else if (path.empty()) {
      path = arg;
    } else {
      return Usage();
    }
  }
  if (url.empty() || path.empty()) return Usage();

  auto outcome = std::make_shared<Outcome>();
  sucaigang::ProgressRoutine progress = [outcome, quiet](std::int32_t, std::int32_t state,
                                                         std::int64_t total, std::int64_t received,
                                                         std::int64_t, float fraction, float speed,
                                                         std::int32_t elapsed, const Text&) {
    if (state == sucaigang::ProgressReadFailed) outcome->failed = true;
    if (state == sucaigang::ProgressEnded) outcome->received = received;
    std::string line = "正在解析下载";
    if (total > 0 && received > 0) {
      line = "已经下载：" + AmountText(received) + "/ " + AmountText(total);
      if (std::fabs(fraction * 100.0f - 100.0f) <= 1e-7f) outcome->complete = true;
    }
    std::lock_guard lock(outcome->mutex);
    outcome->readOut = line;
    if (!quiet) {
      std::fprintf(stderr, "[%d] %s  %.0f KB/s  %d ms\n", state, line.c_str(), speed, elapsed);
    }
  };

  auto completion = std::make_shared<sucaigang::Event>();
  auto begin = std::chrono::steady_clock::now();
  {
    sucaigang::HttpFileDownload download(settings);
    download.Start(url, path, progress, 0, completion);
    completion->Wait();
    download.Stop();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::int64_t bytes = outcome->received;
  bool ok = !outcome->failed && outcome->complete;
  std::printf("%s %lld bytes in %.3f s, %.1f MB/s\n", ok ? "complete" : "failed",
              static_cast<long long>(bytes), seconds,
              seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0);
  return ok ? 0 : 1;
}
