#include "download/launcher.h"

namespace sucaigang {

std::int32_t StartDownloadTask(const std::shared_ptr<DownloadTasks>& tasks, const Text& address,
                               const Text& path, ProgressRoutine progress, std::int32_t taskId) {
  // Held from the duplicate check to the registration, so the worker cannot look for its entry
  // before it is there.
  LockHolder hold(tasks->taskListLock);
  if (taskId != 0) {
    for (const TaskEntry& entry : tasks->taskList) {
      if (entry.id == taskId) return -1;
    }
  }
  auto completion = std::make_shared<Event>();
  auto worker = [](const std::shared_ptr<DownloadTasks>& tasks, const Text& address,
                   const Text& path, const ProgressRoutine& progress, std::int32_t taskId,
                   const std::shared_ptr<Event>& completion) {
    DownloadWorker(tasks, address, path, progress, taskId, completion);
  };
  ThreadHandle thread = StartThreadWithArgs(worker, tasks, Text(UntilZero(address)),
                                            Text(UntilZero(path)), progress, taskId, completion);
  if (thread == 0) return 0;
  tasks->taskList.push_back(TaskEntry{.id = taskId,
                                      .completionEvent = completion,
                                      .path = Text(UntilZero(path)),
                                      .workerThread = thread});
  return 1;
}

void DownloadWorker(const std::shared_ptr<DownloadTasks>& tasks, const Text& address,
                    const Text& path, const ProgressRoutine& progress, std::int32_t taskId,
                    const std::shared_ptr<Event>& completion) {
  {
    HttpFileDownload download;
    download.Start(address, path, progress, taskId, completion);
    completion->Wait();
    download.Stop();
    // Released before the entry goes: once a task has left the list, none of its threads
    // touches anything any more.
  }
  LockHolder hold(tasks->taskListLock);
  for (auto it = tasks->taskList.begin(); it != tasks->taskList.end(); ++it) {
    if (it->id == taskId) {
      tasks->taskList.erase(it);
      break;
    }
  }
}

}  // namespace sucaigang
