#pragma once
// One HTTP(S) GET of one address into one local file, on a thread of its own, with progress
// reports. One object serves one download: construct, Start, wait for the completion event,
// Stop, destroy.
//
// Reports run on threads of their own (start, failure and every tick), the final one on the
// transfer thread or on the thread that calls Stop; they may overlap and arrive out of order.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "download/speed_averager.h"
#include "text/text.h"
#include "threads/event.h"
#include "threads/interval_thread.h"

namespace sucaigang {

enum ProgressState : std::int32_t {
  ProgressStarted = 1,
  ProgressTick = 2,
  ProgressEnded = 3,
  ProgressReadFailed = -1,
};

// (task id, state, total, received, remaining, fraction, speed in KB/s, elapsed ms, path)
using ProgressRoutine = std::function<void(
    std::int32_t taskId, std::int32_t state, std::int64_t total, std::int64_t received,
    std::int64_t remaining, float fraction, float speed, std::int32_t elapsed, const Text& path)>;

// Read size asked of curl and the staging buffer's capacity, chosen by measurement
// (bench/download): large reads and few large writes beat curl's 16 KiB chunks written one by
// one.
inline constexpr long kDownloadBufferSize = 512 * 1024;
inline constexpr std::size_t kDownloadStagingCapacity = 1024 * 1024;

struct DownloadSettings {
  // Trusted besides the system's authorities: only tests and benchmarks set it.
  std::string extraCaFile;
  long bufferSize = kDownloadBufferSize;
  std::size_t stagingCapacity = kDownloadStagingCapacity;
};

class HttpFileDownload {
 public:
  static constexpr std::int32_t kSampleInterval = 495;
  static constexpr std::int32_t kFirstSampleDelay = 500;
  static constexpr long kStopWaitMs = 2000;

  explicit HttpFileDownload(DownloadSettings settings = {});
  // Stops a transfer still running and waits until no thread of this object can touch it.
  ~HttpFileDownload();
  HttpFileDownload(const HttpFileDownload&) = delete;
  HttpFileDownload& operator=(const HttpFileDownload&) = delete;

  // An empty address or path launches nothing and signals the completion event at once.
  void Start(const Text& address, const Text& path, ProgressRoutine progress, std::int32_t taskId,
             std::shared_ptr<Event> completion);
  // Ends a transfer still running: it is told to stop at its next check; after kStopWaitMs it
  // is left to end by itself. Does nothing once the transfer has ended.
  void Stop();

  void ReportProgress(std::int32_t state);

 private:
  class Staging;

  void Transfer();
  // True when this thread runs the end of the transfer; false when Stop has taken it over.
  bool ClaimEnd();
  void FinishTransfer();
  void SpawnReport(std::int32_t state);
  void AddReceived(std::int64_t n);
  std::int64_t Received();

  const DownloadSettings settings_;
  Text address_;
  Text path_;
  ProgressRoutine progress_;
  std::int32_t taskId_ = 0;
  std::shared_ptr<Event> completion_;

  std::atomic<std::int64_t> total_{0};
  std::atomic<std::int64_t> startTimeMs_{-1};  // steady clock; -1 until the file is open

  std::mutex countsMutex_;  // the critical section: received and the speed bookkeeping
  std::int64_t received_ = 0;
  std::int64_t receivedAtLastReport_ = 0;

  std::mutex stateMutex_;  // guards the fields below
  std::condition_variable stateChanged_;
  bool started_ = false;
  bool running_ = false;       // a transfer thread runs and nobody has taken over its end
  bool transferDone_ = false;  // the transfer thread touches nothing of the object any more
  std::atomic<bool> stopRequested_{false};
  int reportThreads_ = 0;

  std::thread transferThread_;
  SpeedAverager averager_;
  IntervalThread sampler_;
};

}  // namespace sucaigang
