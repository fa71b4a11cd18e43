#include "support/recording_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_window_layout.h"
#include "text/encoding.h"

namespace sucaigang::testing {

RecordingWindow::RecordingWindow() {
  for (const ControlEntry& entry : MainWindowControls()) {
    Control& c = controls_[std::string(entry.name)];
    c.text = Utf8ToGbk(entry.text);
    c.visible = entry.visible;
    c.enabled = entry.enabled;
  }
  title_ = MainWindowTitle();
}

RecordingWindow::Control& RecordingWindow::At(std::string_view control) {
  auto found = controls_.find(control);
  if (found == controls_.end()) {
    // A misspelt name would silently miss its control in the real window.
    ADD_FAILURE() << "the window has no control named " << control;
    found = controls_.emplace(std::string(control), Control{}).first;
  }
  return found->second;
}

void RecordingWindow::Record(std::string operation, std::string_view control, Text text, int number,
                             bool isRead, Text caption) {
  Call call;
  call.operation = std::move(operation);
  call.control = std::string(control);
  call.text = std::move(text);
  call.caption = std::move(caption);
  call.number = number;
  call.isRead = isRead;
  call.thread = std::this_thread::get_id();
  calls_.push_back(std::move(call));
  ++changeCount_;
  changed_.notify_all();
}

void RecordingWindow::SetText(std::string_view control, const Text& text) {
  std::lock_guard lock(mutex_);
  At(control).text = Text(UntilZero(text));
  Record("SetText", control, text);
}

Text RecordingWindow::GetText(std::string_view control) {
  std::lock_guard lock(mutex_);
  Text text = At(control).text;
  Record("GetText", control, {}, 0, true, {});
  return text;
}

void RecordingWindow::AppendText(std::string_view control, const Text& text) {
  std::lock_guard lock(mutex_);
  At(control).text += UntilZero(text);
  Record("AppendText", control, text);
}

void RecordingWindow::SetVisible(std::string_view control, bool visible) {
  std::lock_guard lock(mutex_);
  At(control).visible = visible;
  Record("SetVisible", control, {}, visible);
}

bool RecordingWindow::IsVisible(std::string_view control) {
  std::lock_guard lock(mutex_);
  bool visible = At(control).visible;
  Record("IsVisible", control, {}, 0, true, {});
  return visible;
}

void RecordingWindow::SetEnabled(std::string_view control, bool enabled) {
  std::lock_guard lock(mutex_);
  At(control).enabled = enabled;
  Record("SetEnabled", control, {}, enabled);
}

bool RecordingWindow::IsEnabled(std::string_view control) {
  std::lock_guard lock(mutex_);
  bool enabled = At(control).enabled;
  Record("IsEnabled", control, {}, 0, true, {});
  return enabled;
}

void RecordingWindow::SetTimerPeriod(std::string_view control, int milliseconds) {
  std::lock_guard lock(mutex_);
  At(control).timerPeriod = milliseconds;
  Record("SetTimerPeriod", control, {}, milliseconds);
}

void RecordingWindow::SetProgressMaximum(std::string_view control, int maximum) {
  std::lock_guard lock(mutex_);
  At(control).progressMaximum = maximum;
  Record("SetProgressMaximum", control, {}, maximum);
}

void RecordingWindow::SetProgressPosition(std::string_view control, int position) {
  std::lock_guard lock(mutex_);
  At(control).progressPosition = position;
  Record("SetProgressPosition", control, {}, position);
}

void RecordingWindow::SetTitle(const Text& title) {
  std::lock_guard lock(mutex_);
  title_ = Text(UntilZero(title));
  Record("SetTitle", {}, title);
}

void RecordingWindow::LoadHtmlView(std::string_view control, const Text& address) {
  std::lock_guard lock(mutex_);
  At(control).htmlAddress = address;
  Record("LoadHtmlView", control, address);
}

void RecordingWindow::OpenInBrowser(const Text& address) {
  std::lock_guard lock(mutex_);
  opened_.push_back(address);
  Record("OpenInBrowser", {}, address);
}

void RecordingWindow::MessageBox(const Text& text, const Text& caption) {
  ShowBox(text, caption, false);
}

bool RecordingWindow::AskYesNo(const Text& text, const Text& caption) {
  return ShowBox(text, caption, true);
}

bool RecordingWindow::ShowBox(const Text& text, const Text& caption, bool question) {
  std::unique_lock lock(mutex_);
  boxes_.push_back({text, caption, question});
  bool answer = false;
  if (question) {
    answer = defaultAnswer_;
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  Record(question ? "AskYesNo" : "MessageBox", {}, text, answer, false, caption);
  if (holdBoxes_) {
    const std::uint64_t ticket = nextTicket_++;
    heldOpen_.push_back(ticket);
    changed_.notify_all();
    bool closed = changed_.wait_for(lock, kHeldBoxLimit, [&] {
      return std::find(heldOpen_.begin(), heldOpen_.end(), ticket) == heldOpen_.end();
    });
    if (!closed) {
      ADD_FAILURE() << "a held box was never closed";
      heldOpen_.erase(std::find(heldOpen_.begin(), heldOpen_.end(), ticket));
    }
  }
  return answer;
}

std::vector<RecordingWindow::Call> RecordingWindow::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingWindow::Changes() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const Call& call : calls_) {
    if (call.isRead) continue;
    std::string line = call.operation;
    if (!call.control.empty()) line += " " + call.control;
    if (!call.caption.empty()) line += " " + GbkToUtf8(call.caption);
    bool numeric = call.operation == "SetVisible" || call.operation == "SetEnabled" ||
                   call.operation == "SetTimerPeriod" || call.operation.starts_with("SetProgress");
    if (numeric) {
      line += " " + std::to_string(call.number);
    } else {
      line += " " + GbkToUtf8(call.text);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

void RecordingWindow::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

int RecordingWindow::TimerPeriod(std::string_view control) const {
  std::lock_guard lock(mutex_);
  auto found = controls_.find(control);
  return found == controls_.end() ? 0 : found->second.timerPeriod;
}

int RecordingWindow::ProgressMaximum(std::string_view control) const {
  std::lock_guard lock(mutex_);
  auto found = controls_.find(control);
  return found == controls_.end() ? 0 : found->second.progressMaximum;
}

int RecordingWindow::ProgressPosition(std::string_view control) const {
  std::lock_guard lock(mutex_);
  auto found = controls_.find(control);
  return found == controls_.end() ? 0 : found->second.progressPosition;
}

Text RecordingWindow::Title() const {
  std::lock_guard lock(mutex_);
  return title_;
}

Text RecordingWindow::HtmlViewAddress(std::string_view control) const {
  std::lock_guard lock(mutex_);
  auto found = controls_.find(control);
  return found == controls_.end() ? Text() : found->second.htmlAddress;
}

std::vector<Text> RecordingWindow::OpenedAddresses() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

std::vector<RecordingWindow::Box> RecordingWindow::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

void RecordingWindow::QueueAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  answers_.push_back(yes);
}

void RecordingWindow::SetDefaultAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = yes;
}

void RecordingWindow::HoldBoxes(bool hold) {
  std::lock_guard lock(mutex_);
  holdBoxes_ = hold;
}

bool RecordingWindow::CloseBox(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [&] { return !heldOpen_.empty(); })) return false;
  heldOpen_.pop_front();
  ++changeCount_;
  changed_.notify_all();
  return true;
}

size_t RecordingWindow::OpenBoxes() const {
  std::lock_guard lock(mutex_);
  return heldOpen_.size();
}

bool RecordingWindow::WaitForBoxes(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return boxes_.size() >= count; });
}

bool RecordingWindow::WaitUntil(const std::function<bool()>& condition,
                                std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(mutex_);
      seen = changeCount_;
    }
    if (condition()) return true;
    std::unique_lock lock(mutex_);
    // Wake on the next call, or now and then for conditions that do not depend on the window.
    auto wake =
        std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    changed_.wait_until(lock, wake, [&] { return changeCount_ != seen; });
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      return condition();
    }
  }
}

}  // namespace sucaigang::testing
