#pragma once
// The one way the flows start a download: a worker thread runs one HttpFileDownload to its end,
// registered meanwhile in the task list so that a non-zero task id runs only once at a time.
#include <cstdint>
#include <list>
#include <memory>
#include <system_error>
#include <thread>
#include <tuple>
#include <type_traits>

#include "download/http_file_download.h"
#include "text/text.h"
#include "threads/event.h"
#include "threads/lock.h"
#include "threads/thread_handle.h"

namespace sucaigang {

struct TaskEntry {
  std::int32_t id = 0;  // 0: started without an id
  std::shared_ptr<Event> completionEvent;
  Text path;
  ThreadHandle workerThread = 0;
};

// TaskList under its TaskListLock. Start-up makes one and hands it to the flows; every worker
// holds it until it has removed its entry, so it outlives them all.
struct DownloadTasks {
  Lock taskListLock;
  std::list<TaskEntry> taskList;
};

// 1 when started; -1 when a task with the same non-zero id is registered; 0 when no worker
// thread could be started (nothing is registered then, so the id stays free). The caller may
// free its texts as soon as this returns.
std::int32_t StartDownloadTask(const std::shared_ptr<DownloadTasks>& tasks, const Text& address,
                               const Text& path, ProgressRoutine progress = {},
                               std::int32_t taskId = 0);

// Runs one download to its end, then removes one entry with its task id.
void DownloadWorker(const std::shared_ptr<DownloadTasks>& tasks, const Text& address,
                    const Text& path, const ProgressRoutine& progress, std::int32_t taskId,
                    const std::shared_ptr<Event>& completion);

// Starts a thread that runs routine(args...) on copies of the arguments, and returns once the
// new thread holds its copies: the caller may change or free its own variables at once.
// 0 when the routine is absent or no thread could be started.
template <class Routine, class... Args>
ThreadHandle StartThreadWithArgs(const Routine& routine, const Args&... args) {
  if constexpr (std::is_constructible_v<bool, const Routine&>) {
    if (!static_cast<bool>(routine)) return 0;
  }
  auto handshake = std::make_shared<Event>();
  std::tuple<const Routine&, const Args&...> package(routine, args...);
  try {
    std::thread([&package, handshake] {
      // Copies taken from the starter's variables, which are not touched after the handshake.
      auto copies = std::apply(
          [](const auto&... values) {
            return std::make_tuple(std::decay_t<decltype(values)>(values)...);
          },
          package);
      handshake->Set();
      std::apply([](auto& run, auto&... values) { run(values...); }, copies);
    }).detach();
  } catch (const std::system_error&) {
    return 0;
  }
  handshake->Wait();
  return NewThreadHandle();
}

}  // namespace sucaigang
