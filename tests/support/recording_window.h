#pragma once
// A window port for tests: records every call in order, keeps the state the calls leave behind
// (starting from the main window's initial state), and lets a test answer message boxes and
// questions. Safe to call from any thread; every wait is bounded.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/window.h"

namespace sucaigang::testing {

class RecordingWindow : public Window {
 public:
  struct Call {
    std::string operation;  // "SetText", "GetText", "MessageBox", ...
    std::string control;    // UTF-8 control name; empty for window-wide calls
    Text text;              // the Text argument (GBK); for boxes the message
    Text caption;           // boxes and questions
    int number = 0;         // period, maximum, position, or 0/1 for a flag
    std::thread::id thread;
    bool isRead = false;
  };
  struct Box {
    Text text;
    Text caption;
    bool question = false;
  };

  RecordingWindow();

  using Window::MessageBox;
  void SetText(std::string_view control, const Text& text) override;
  Text GetText(std::string_view control) override;
  void AppendText(std::string_view control, const Text& text) override;
  void SetVisible(std::string_view control, bool visible) override;
  bool IsVisible(std::string_view control) override;
  void SetEnabled(std::string_view control, bool enabled) override;
  bool IsEnabled(std::string_view control) override;
  void SetTimerPeriod(std::string_view control, int milliseconds) override;
  void SetProgressMaximum(std::string_view control, int maximum) override;
  void SetProgressPosition(std::string_view control, int position) override;
  void SetTitle(const Text& title) override;
  void LoadHtmlView(std::string_view control, const Text& address) override;
  void OpenInBrowser(const Text& address) override;
  void MessageBox(const Text& text, const Text& caption) override;
  bool AskYesNo(const Text& text, const Text& caption) override;

  // Every call, reads included, in order.
  std::vector<Call> Calls() const;
  // The calls that change something, as one line each with texts in UTF-8, e.g.
  // "SetText 按钮_解析 60S", "SetEnabled 按钮_解析 0", "MessageBox 信息：
  // 请输入正确的素材港地址！".
  std::vector<std::string> Changes() const;
  void ClearCalls();

  // State left by the calls (reads of the port itself give texts, visibility and enabled state).
  int TimerPeriod(std::string_view control) const;
  int ProgressMaximum(std::string_view control) const;
  int ProgressPosition(std::string_view control) const;
  Text Title() const;
  Text HtmlViewAddress(std::string_view control) const;
  std::vector<Text> OpenedAddresses() const;
  std::vector<Box> Boxes() const;

  // Questions are answered from this queue, then with the default answer (No unless set).
  void QueueAnswer(bool yes);
  void SetDefaultAnswer(bool yes);
  // While held, a box or question blocks its caller until CloseBox() (or kHeldBoxLimit passes).
  void HoldBoxes(bool hold);
  // Closes the oldest held box; false when none was open within the timeout.
  bool CloseBox(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Number of held boxes still open.
  size_t OpenBoxes() const;

  // Waits until at least `count` boxes have been shown.
  bool WaitForBoxes(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Waits until `condition` holds; it is checked after every call (without the window's lock).
  bool WaitUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

  static constexpr std::chrono::seconds kHeldBoxLimit{30};

 private:
  struct Control {
    Text text;
    bool visible = true;
    bool enabled = true;
    int timerPeriod = 0;
    int progressMaximum = 100;
    int progressPosition = 0;
    Text htmlAddress;
  };

  Control& At(std::string_view control);  // lock held
  // Lock held.
  void Record(std::string operation, std::string_view control, Text text = {}, int number = 0,
              bool isRead = false, Text caption = {});
  bool ShowBox(const Text& text, const Text& caption, bool question);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t changeCount_ = 0;
  std::vector<Call> calls_;
  std::map<std::string, Control, std::less<>> controls_;
  Text title_;
  std::vector<Text> opened_;
  std::vector<Box> boxes_;
  std::deque<bool> answers_;
  bool defaultAnswer_ = false;
  bool holdBoxes_ = false;
  std::deque<std::uint64_t> heldOpen_;  // tickets of held boxes, oldest first
  std::uint64_t nextTicket_ = 0;
};

}  // namespace sucaigang::testing
