#pragma once
// The main window's event handlers and the countdown, written against the window port so that
// they run the same under Qt and under the tests' recording window. The flows they start are
// plugged in through FlowSeams by start-up.
#include <functional>
#include <string>

#include "app/session_values.h"
#include "app/window.h"
#include "text/text.h"

namespace sucaigang {

// The service's side pages, from its web home (ending in "/").
inline Text NewsPageAddress(const Text& webHome) { return webHome + "gg/index.html"; }
inline Text UserPageAddress(const Text& webHome) { return webHome + "?user&index"; }

// What the handlers call but do not define. An empty seam does nothing.
struct FlowSeams {
  std::function<void()> attachSkin;  // skins the window; UI thread
  std::function<void()> updateCheck;  // synchronous on the UI thread; enables 按钮_登陆 on success
  std::function<void()> loginFlow;                   // the body of a new login thread
  std::function<void()> parseFlow;                   // the body of a new parse thread
  std::function<void(const Text& message)> logLine;  // one time-stamped entry in 编辑框2
  // Runs `body` on a new thread whose handle is not kept; default: a detached std::thread.
  std::function<void(std::function<void()> body)> startThread;
};

struct ControllerSettings {
  std::string settingsPath;  // pz.ini
  Text webHome;              // the service's web home, ending in "/"
};

class AppController {
 public:
  AppController(Window& window, SessionValues& values, ControllerSettings settings,
                FlowSeams seams = {});

  FlowSeams& Seams() { return seams_; }

  // Created handler, once, on the UI thread, before any user input: loads the news page into
  // the HTML view, then AttachSkin, RestoreCredentials and UpdateCheck in that order.
  void OnWindowCreated();
  void OnLoginClicked();     // 按钮_登陆
  void OnParseClicked();     // 按钮_解析
  void OnRegisterClicked();  // 按钮_注册
  void OnUserPagePressed();  // left button down on 透明标签_username3
  void OnCountdownTick();    // 时钟1

 private:
  void StartThread(const std::function<void()>& body);

  Window& window_;
  SessionValues& values_;
  ControllerSettings settings_;
  FlowSeams seams_;
};

}  // namespace sucaigang
