#pragma once
// The window port: what the flows may do to the main window, addressed by control name.
// Control names are the Chinese names of the window's controls, as UTF-8 literals
// (u8-free plain literals in our UTF-8 sources, e.g. "按钮_解析"). Every Text passed in or
// returned is GBK. Implementations must accept calls from any thread: changes issued by one
// thread reach the window in the order issued, and reads never wait for the UI thread.
#include <string_view>

#include "text/text.h"

namespace sucaigang {

class Window {
 public:
  virtual ~Window() = default;

  // Label or edit box text, or a button's caption.
  virtual void SetText(std::string_view control, const Text& text) = 0;
  // Edit box text or button caption, as the window holds it now (user edits included).
  virtual Text GetText(std::string_view control) = 0;
  // Appends at the end of an edit box in one insertion and scrolls it into view.
  virtual void AppendText(std::string_view control, const Text& text) = 0;

  virtual void SetVisible(std::string_view control, bool visible) = 0;
  virtual bool IsVisible(std::string_view control) = 0;
  virtual void SetEnabled(std::string_view control, bool enabled) = 0;
  virtual bool IsEnabled(std::string_view control) = 0;

  // A periodic timer's period in milliseconds; 0 stops it.
  virtual void SetTimerPeriod(std::string_view control, int milliseconds) = 0;
  virtual void SetProgressMaximum(std::string_view control, int maximum) = 0;
  virtual void SetProgressPosition(std::string_view control, int position) = 0;

  virtual void SetTitle(const Text& title) = 0;
  // The HTML view loads (fetches and shows) the page at the address, without blocking.
  virtual void LoadHtmlView(std::string_view control, const Text& address) = 0;
  // Opens the address in the user's default browser.
  virtual void OpenInBrowser(const Text& address) = 0;

  // A box with an OK button. Returns when the box is closed; shown from a worker thread it
  // blocks only that thread and leaves the window usable.
  virtual void MessageBox(const Text& text, const Text& caption) = 0;
  void MessageBox(const Text& text);  // caption "信息："
  // A Yes/No question with its own caption; true for Yes. Blocks like MessageBox.
  virtual bool AskYesNo(const Text& text, const Text& caption) = 0;
};

}  // namespace sucaigang
