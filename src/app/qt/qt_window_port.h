#pragma once
// The window port over the Qt window. Changes from any thread reach the widgets on the UI thread
// in the order each thread issued them; reads come from a mirror kept under a mutex, so they never
// wait for the UI thread. A box shown by a worker blocks only that worker; when the window closes,
// boxes go away and every waiting worker is released.
#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "app/window.h"

class QMessageBox;

namespace sucaigang {

class QtWindowPort : public Window {
 public:
  // Made on the UI thread, after the window's controls exist.
  explicit QtWindowPort(MainWindow& window);
  ~QtWindowPort() override;
  QtWindowPort(const QtWindowPort&) = delete;
  QtWindowPort& operator=(const QtWindowPort&) = delete;

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

  // Fetches a page for the HTML view (GBK address in, GBK HTML out, "" on failure); it runs on a
  // thread of its own. Without one the view stays empty.
  using HtmlFetcher = std::function<Text(const Text& address)>;
  void SetHtmlFetcher(HtmlFetcher fetcher);
  // Opens an address outside the program; default QDesktopServices::openUrl. UI thread.
  void SetUrlOpener(std::function<void(const QString& address)> opener);

  // UI thread. Closes every box, releases waiting workers and drops later changes.
  void Close();
  bool IsClosed() const;

 private:
  enum class Field {
    Text,
    Visible,
    Enabled,
    Timer,
    ProgressMaximum,
    ProgressPosition,
    Title,
    Action
  };
  struct Mirror {
    Text text;
    bool visible = true;
    bool enabled = true;
    int timerPeriod = 0;
    int progressMaximum = 100;
    int progressPosition = 0;
  };
  struct PendingBox;
  // What worker threads may still hold after the port is gone.
  struct Shared {
    mutable std::mutex mutex;
    std::condition_variable boxClosed;
    bool closed = false;
    QObject* context = nullptr;  // lives on the UI thread; posted calls run there
    std::map<std::string, Mirror, std::less<>> mirror;
    Text title;
    std::uint64_t sequence = 0;
    std::vector<std::shared_ptr<PendingBox>> pendingBoxes;
    HtmlFetcher fetcher;
  };

  bool OnUiThread() const;
  // Updates the mirror now and the widgets on the UI thread (at once when called there).
  void Change(std::string_view control, Field field, const std::function<void(Mirror&)>& update,
              std::function<void()> apply);
  // UI thread: applies a change unless the same field was changed by a later one already.
  void ApplyInOrder(const std::string& key, std::uint64_t sequence,
                    const std::function<void()>& apply);
  void NoteUserEdit(const std::string& control, const QString& text);
  bool ShowBox(const Text& text, const Text& caption, bool question);
  QMessageBox* MakeBox(const Text& text, const Text& caption, bool question);
  void ShowHtml(const std::string& control, const Text& address);

  QPointer<MainWindow> window_;
  std::shared_ptr<Shared> shared_;
  // UI thread only.
  std::map<std::string, std::uint64_t> applied_;
  bool applying_ = false;
  std::vector<QPointer<QMessageBox>> openBoxes_;
  std::map<std::string, std::uint64_t> htmlGeneration_;
  std::function<void(const QString&)> urlOpener_;
};

}  // namespace sucaigang
