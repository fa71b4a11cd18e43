#pragma once
// The running program's pieces put together: the process-wide values, the window, its port and
// the handlers, with the window's events wired to the handlers. main() and the GUI tests use it.
#include <atomic>
#include <memory>

#include "app/app_controller.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_window_port.h"
#include "app/session_values.h"

namespace sucaigang {

struct ShellOptions {
  Text exampleAddress;  // first text of 编辑框1
  ControllerSettings controller;
};

class QtShell {
 public:
  // On the UI thread, with a QApplication. The skin seam is set to our style sheet; the thread
  // starter keeps count of running flow threads.
  explicit QtShell(ShellOptions options);
  // Objects that a still running flow thread may touch are left alive: the process is ending.
  ~QtShell();
  QtShell(const QtShell&) = delete;
  QtShell& operator=(const QtShell&) = delete;

  MainWindow& Widget() { return *window_; }
  QtWindowPort& Port() { return *port_; }
  SessionValues& Values() { return *values_; }
  AppController& Controller() { return *controller_; }
  FlowSeams& Seams() { return controller_->Seams(); }
  int RunningThreads() const { return running_->load(); }

  // Shows the window and runs the created handler; false when the window was closed meanwhile.
  bool Start();

 private:
  std::unique_ptr<SessionValues> values_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QtWindowPort> port_;
  std::unique_ptr<AppController> controller_;
  std::shared_ptr<std::atomic<int>> running_;
};

// For the request engine's "pump pending messages" hook: lets the window handle its events while
// the UI thread waits for a synchronous request. Does nothing on other threads.
void PumpUiEvents();

}  // namespace sucaigang
