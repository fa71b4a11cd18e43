#include "download/http_file_download.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "http/transport.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

constexpr char kUserAgentLine[] =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
    "Gecko) Chrome/76.0.3809.132 Safari/537.36";
constexpr char kRangeLine[] = "Range:bytes=0-";
constexpr long kConnectTimeoutMs = 60000;
constexpr long kStallTimeoutMs = 30000;

std::int64_t UptimeMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The target file, closed by whoever holds it last.
class TargetFile {
 public:
  TargetFile() = default;
  ~TargetFile() { Close(); }
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Truncated: a shorter body over an older, longer file must not keep the old tail. The path
  // is GBK Text; the file system takes UTF-8.
  bool Open(const Text& path) {
    fd_ = ::open(GbkToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return false;
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
  }
  bool IsOpen() const { return fd_ >= 0; }
  bool Write(const char* data, std::size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  // False when the system reports that written bytes did not reach the file.
  bool Close() {
    if (fd_ < 0) return true;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace

// Chunks gathered in an allocation of their own and written out when the next one would not
// fit; grown only for a single chunk larger than the whole buffer.
class HttpFileDownload::Staging {
 public:
  bool Make(std::size_t capacity) {
    capacity_ = capacity;
    data_.reset(new (std::nothrow) char[capacity_]);
    return data_ != nullptr;
  }
  // False when the file write fails or the buffer cannot grow.
  bool Hold(TargetFile& file, const char* data, std::size_t size) {
    if (held_ + size > capacity_) {
      if (!Flush(file)) return false;
      if (size > capacity_) {
        data_.reset(new (std::nothrow) char[size]);
        if (!data_) return false;
        capacity_ = size;
      }
    }
    std::memcpy(data_.get() + held_, data, size);
    held_ += size;
    return true;
  }
  bool Flush(TargetFile& file) {
    bool written = held_ == 0 || file.Write(data_.get(), held_);
    held_ = 0;
    return written;
  }
  void Free() {
    data_.reset();
    held_ = 0;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t capacity_ = 0;
  std::size_t held_ = 0;
};

HttpFileDownload::HttpFileDownload(DownloadSettings settings) : settings_(std::move(settings)) {}

HttpFileDownload::~HttpFileDownload() {
  if (transferThread_.joinable()) {
    Stop();
    transferThread_.join();
  }
  // Tick and report threads call into this object; none may outlive it.
  sampler_.Stop();
  sampler_.WaitForTicks();
  std::unique_lock lock(stateMutex_);
  stateChanged_.wait(lock, [this] { return reportThreads_ == 0; });
}

void HttpFileDownload::Start(const Text& address, const Text& path, ProgressRoutine progress,
                             std::int32_t taskId, std::shared_ptr<Event> completion) {
  std::lock_guard lock(stateMutex_);
  if (started_) return;  // one object, one download
  started_ = true;
  if (UntilZero(address).empty() || UntilZero(path).empty()) {
    if (completion) completion->Set();
    return;
  }
  address_ = Text(UntilZero(address));
  path_ = Text(UntilZero(path));
  progress_ = std::move(progress);
  taskId_ = taskId;
  completion_ = std::move(completion);
  running_ = true;
  try {
    transferThread_ = std::thread([this] { Transfer(); });
  } catch (const std::system_error&) {
    running_ = false;
    transferDone_ = true;
    if (completion_) completion_->Set();
  }
}

void HttpFileDownload::Transfer() {
  TargetFile file;
  Staging staging;
  bool refusedStatus = false;  // not a 2xx answer: nothing is written
  bool writeFailed = false;
  bool opened = false;  // the file is made and reports have begun

  TransportRequest request;
  request.url = TransportUrl(address_);
  request.headerLines = {kUserAgentLine, kRangeLine};
  request.followRedirects = true;
  request.verifyPeer = true;
  request.extraCaFile = settings_.extraCaFile;
  request.connectTimeoutMs = kConnectTimeoutMs;
  request.stallTimeoutMs = kStallTimeoutMs;
  request.bufferSize = settings_.bufferSize;
  request.keepGoing = [this] { return !stopRequested_; };
  request.onHead = [&](const TransportHead& head) {
    if (head.status < 200 || head.status > 299) {
      refusedStatus = true;
      return false;
    }
    total_ = head.contentLength > 0 ? head.contentLength : 0;
    return true;
  };
  request.onBody = [&](const char* data, std::size_t size) {
    if (stopRequested_) return false;  // the per-chunk check for Stop
    if (size == 0) return true;
    if (!opened) {
      // First chunk: buffer, file and reports come only with a body.
      if (!staging.Make(std::max(settings_.stagingCapacity, size)) || !file.Open(path_)) {
        staging.Free();
        return false;
      }
      opened = true;
      {
        // Under the state lock, so a Stop that has already reported the end sees no ticks.
        std::lock_guard lock(stateMutex_);
        if (stopRequested_) return false;
        if (progress_) {
          sampler_.Start([this](std::int32_t state) { ReportProgress(state); }, kSampleInterval,
                         kFirstSampleDelay, ProgressTick, false);
          startTimeMs_ = UptimeMs();
        }
      }
      if (progress_) SpawnReport(ProgressStarted);
      if (!file.Write(data, size)) {
        writeFailed = true;
        return false;
      }
    } else if (!staging.Hold(file, data, size)) {
      writeFailed = true;
      return false;
    }
    AddReceived(static_cast<std::int64_t>(size));
    return true;
  };

  TransportResult result = Exchange(request);

  if (stopRequested_) {
    // Stop ends what it found; the file closes with this thread.
    staging.Free();
    file.Close();
    FinishTransfer();
    return;
  }
  if (!opened && !refusedStatus) {
    // Ended before any body byte (or before the file could be made): no report.
    file.Close();
    if (ClaimEnd()) {
      if (completion_) completion_->Set();
    }
    FinishTransfer();
    return;
  }

  bool failed = refusedStatus || writeFailed || result.error != TransportError::None;
  if (!failed && !staging.Flush(file)) failed = true;
  // A body shorter than its stated length is a broken transfer, not a finished one.
  const std::int64_t total = total_;
  if (!failed && total > 0 && Received() != total) failed = true;

  // The end of the transfer, in order: failure report, sampler stopped, file closed, staging
  // freed, ProgressEnded, completion. A Stop that came first does the reporting itself.
  const bool claimed = ClaimEnd();
  const bool reporting = claimed && progress_;
  if (failed && reporting) SpawnReport(ProgressReadFailed);
  if (reporting) sampler_.Stop();
  if (!file.Close() && !failed) {
    failed = true;  // a write the system deferred can fail only now
    if (reporting) SpawnReport(ProgressReadFailed);
  }
  staging.Free();
  if (reporting) ReportProgress(ProgressEnded);
  if (claimed && completion_) completion_->Set();
  FinishTransfer();
}

bool HttpFileDownload::ClaimEnd() {
  std::lock_guard lock(stateMutex_);
  if (stopRequested_) return false;
  running_ = false;
  return true;
}

void HttpFileDownload::FinishTransfer() {
  std::lock_guard lock(stateMutex_);
  transferDone_ = true;
  stateChanged_.notify_all();
}

void HttpFileDownload::Stop() {
  {
    std::unique_lock lock(stateMutex_);
    if (!running_) return;
    running_ = false;
    stopRequested_ = true;
    // A transfer that does not end in time is left to end by itself at its next check: a
    // thread cannot be killed safely. It writes nothing more and makes no report.
    stateChanged_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                           [this] { return transferDone_; });
  }
  if (progress_) {
    sampler_.Stop();
    ReportProgress(ProgressEnded);
  }
  if (completion_) completion_->Set();
}

void HttpFileDownload::SpawnReport(std::int32_t state) {
  {
    std::lock_guard lock(stateMutex_);
    ++reportThreads_;
  }
  auto done = [this] {
    std::lock_guard lock(stateMutex_);
    --reportThreads_;
    stateChanged_.notify_all();
  };
  try {
    std::thread([this, state, done] {
      ReportProgress(state);
      done();
    }).detach();
  } catch (const std::system_error&) {
    done();
  }
}

void HttpFileDownload::AddReceived(std::int64_t n) {
  std::lock_guard lock(countsMutex_);
  received_ += n;
}

std::int64_t HttpFileDownload::Received() {
  std::lock_guard lock(countsMutex_);
  return received_;
}

void HttpFileDownload::ReportProgress(std::int32_t state) {
  std::int64_t received = 0;
  std::int64_t delta = 0;
  {
    std::lock_guard lock(countsMutex_);
    received = received_;
    if (received > 0) {
      delta = received - receivedAtLastReport_;
      receivedAtLastReport_ = received;
    }
  }
  std::int64_t total = total_;
  std::int64_t remaining = total == 0 ? 0 : total - received;
  float fraction =
      total == 0 ? 0.0f
                 : static_cast<float>(static_cast<double>(received) / static_cast<double>(total));
  float speed = 0.0f;
  if (received > 0) {
    // Samples half a second apart: delta / 512 is KB per second.
    averager_.Push(static_cast<float>(delta) / 512.0f);
    speed = averager_.Average();
  }
  std::int64_t start = startTimeMs_;
  auto elapsed = static_cast<std::int32_t>(start < 0 ? 0 : UptimeMs() - start);
  progress_(taskId_, state, total, received, remaining, fraction, speed, elapsed, path_);
}

}  // namespace sucaigang
