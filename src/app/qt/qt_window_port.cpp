#include "app/qt/qt_window_port.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <thread>

#include "app/main_window_layout.h"
#include "text/encoding.h"

namespace sucaigang {

struct QtWindowPort::PendingBox {
  bool done = false;
  bool yes = false;
};

QtWindowPort::QtWindowPort(MainWindow& window)
    : window_(&window),
      shared_(std::make_shared<Shared>()),
      urlOpener_([](const QString& address) { QDesktopServices::openUrl(QUrl(address)); }) {
  shared_->context = new QObject();
  shared_->title = MainWindowTitle();
  for (const ControlEntry& entry : MainWindowControls()) {
    Mirror& m = shared_->mirror[std::string(entry.name)];
    m.visible = entry.visible;
    m.enabled = entry.enabled;
    m.text = entry.kind == ControlKind::LogEdit ? Utf8ToGbk(entry.text) : Text();
    if (auto* edit = window.ControlAs<QLineEdit>(entry.name)) {
      m.text = FromDisplay(edit->text());
      const std::string name(entry.name);
      QObject::connect(edit, &QLineEdit::textChanged, shared_->context,
                       [this, name](const QString& text) { NoteUserEdit(name, text); });
    } else if (entry.kind != ControlKind::LogEdit) {
      m.text = Utf8ToGbk(entry.text);
    }
  }
  QObject::connect(window.ControlAs<QTextBrowser>("超文本浏览框1"), &QTextBrowser::anchorClicked,
                   shared_->context, [this](const QUrl& url) {
                     auto* view =
                         window_ ? window_->ControlAs<QTextBrowser>("超文本浏览框1") : nullptr;
                     // Relative links lead to the host the page came from.
                     QUrl resolved = view ? view->document()->baseUrl().resolved(url) : url;
                     if (urlOpener_) urlOpener_(resolved.toString());
                   });
  QObject::connect(&window, &QObject::destroyed, shared_->context, [this] { Close(); });
}

// On the UI thread, like the window.
QtWindowPort::~QtWindowPort() {
  Close();
  delete shared_->context;  // drops changes still queued for the window
}

bool QtWindowPort::OnUiThread() const {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

void QtWindowPort::Change(std::string_view control, Field field,
                          const std::function<void(Mirror&)>& update, std::function<void()> apply) {
  // Actions (opening a page, loading the view) always run; states keep the newest value.
  std::string key = field == Field::Action
                        ? std::string()
                        : std::string(control) + '#' + std::to_string(static_cast<int>(field));
  std::unique_lock lock(shared_->mutex);
  if (shared_->closed) return;
  if (update) {
    if (control.empty()) {
      Mirror ignored;
      update(ignored);
    } else {
      auto found = shared_->mirror.find(control);
      if (found == shared_->mirror.end()) return;  // no such control
      update(found->second);
    }
  }
  const std::uint64_t sequence = ++shared_->sequence;
  if (OnUiThread()) {
    lock.unlock();
    ApplyInOrder(key, sequence, apply);
    return;
  }
  // Queued calls from one thread to one receiver run in the order they were posted.
  QMetaObject::invokeMethod(
      shared_->context,
      [this, key = std::move(key), sequence, apply = std::move(apply)] {
        ApplyInOrder(key, sequence, apply);
      },
      Qt::QueuedConnection);
}

void QtWindowPort::ApplyInOrder(const std::string& key, std::uint64_t sequence,
                                const std::function<void()>& apply) {
  if (IsClosed() || !window_) return;
  if (!key.empty()) {
    std::uint64_t& last = applied_[key];
    if (sequence < last) return;
    last = sequence;
  }
  const bool outer = applying_;  // a change may set off handlers that change more
  applying_ = true;
  apply();
  applying_ = outer;
}

void QtWindowPort::NoteUserEdit(const std::string& control, const QString& text) {
  if (applying_) return;
  std::lock_guard lock(shared_->mutex);
  shared_->mirror[control].text = FromDisplay(text);
  // The user's text is the newest: an older change still on its way must not undo it.
  applied_[control + '#' + std::to_string(static_cast<int>(Field::Text))] = ++shared_->sequence;
}

void QtWindowPort::SetText(std::string_view control, const Text& text) {
  const Text value(UntilZero(text));
  const std::string name(control);
  Change(
      control, Field::Text, [&](Mirror& m) { m.text = value; },
      [this, name, value] {
        QObject* c = window_->Control(name);
        const QString shown = ToDisplay(value);
        if (auto* label = qobject_cast<QLabel*>(c)) {
          label->setText(shown);
        } else if (auto* edit = qobject_cast<QLineEdit*>(c)) {
          edit->setText(shown);
          edit->setCursorPosition(0);
        } else if (auto* button = qobject_cast<QAbstractButton*>(c)) {
          button->setText(shown);
        } else if (auto* log = qobject_cast<QPlainTextEdit*>(c)) {
          log->setPlainText(shown);
        } else if (auto* group = qobject_cast<QGroupBox*>(c)) {
          group->setTitle(shown);
        }
      });
}

Text QtWindowPort::GetText(std::string_view control) {
  std::lock_guard lock(shared_->mutex);
  auto found = shared_->mirror.find(control);
  return found == shared_->mirror.end() ? Text() : found->second.text;
}

void QtWindowPort::AppendText(std::string_view control, const Text& text) {
  const Text value(UntilZero(text));
  const std::string name(control);
  Change(
      // Every entry counts: an append is never dropped as outdated.
      control, Field::Action, [&](Mirror& m) { m.text += value; },
      [this, name, value] {
        QObject* c = window_->Control(name);
        if (auto* log = qobject_cast<QPlainTextEdit*>(c)) {
          QTextCursor cursor = log->textCursor();
          cursor.movePosition(QTextCursor::End);
          cursor.insertText(ToDisplay(value));  // one insertion: entries never mix
          log->setTextCursor(cursor);
          log->ensureCursorVisible();
        } else if (auto* edit = qobject_cast<QLineEdit*>(c)) {
          edit->end(false);
          edit->insert(ToDisplay(value));
        }
      });
}

void QtWindowPort::SetVisible(std::string_view control, bool visible) {
  const std::string name(control);
  Change(
      control, Field::Visible, [&](Mirror& m) { m.visible = visible; },
      [this, name, visible] {
        if (auto* w = window_->ControlAs<QWidget>(name)) w->setVisible(visible);
      });
}

bool QtWindowPort::IsVisible(std::string_view control) {
  std::lock_guard lock(shared_->mutex);
  auto found = shared_->mirror.find(control);
  return found != shared_->mirror.end() && found->second.visible;
}

void QtWindowPort::SetEnabled(std::string_view control, bool enabled) {
  const std::string name(control);
  Change(
      control, Field::Enabled, [&](Mirror& m) { m.enabled = enabled; },
      [this, name, enabled] {
        if (auto* w = window_->ControlAs<QWidget>(name)) w->setEnabled(enabled);
      });
}

bool QtWindowPort::IsEnabled(std::string_view control) {
  std::lock_guard lock(shared_->mutex);
  auto found = shared_->mirror.find(control);
  return found != shared_->mirror.end() && found->second.enabled;
}

void QtWindowPort::SetTimerPeriod(std::string_view control, int milliseconds) {
  const std::string name(control);
  Change(
      control, Field::Timer, [&](Mirror& m) { m.timerPeriod = milliseconds; },
      [this, name, milliseconds] {
        auto* timer = window_->ControlAs<QTimer>(name);
        if (timer == nullptr) return;
        if (milliseconds <= 0) {
          timer->stop();
        } else {
          timer->start(milliseconds);
        }
      });
}

void QtWindowPort::SetProgressMaximum(std::string_view control, int maximum) {
  const std::string name(control);
  Change(
      control, Field::ProgressMaximum, [&](Mirror& m) { m.progressMaximum = maximum; },
      [this, name, maximum] {
        if (auto* bar = window_->ControlAs<QProgressBar>(name)) bar->setMaximum(maximum);
      });
}

void QtWindowPort::SetProgressPosition(std::string_view control, int position) {
  const std::string name(control);
  Change(
      control, Field::ProgressPosition, [&](Mirror& m) { m.progressPosition = position; },
      [this, name, position] {
        // Out-of-range positions pin the bar to its end instead of being ignored.
        if (auto* bar = window_->ControlAs<QProgressBar>(name)) {
          bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
        }
      });
}

void QtWindowPort::SetTitle(const Text& title) {
  const Text value(UntilZero(title));
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed) return;
    shared_->title = value;
  }
  Change("", Field::Title, nullptr, [this, value] { window_->setWindowTitle(ToDisplay(value)); });
}

void QtWindowPort::LoadHtmlView(std::string_view control, const Text& address) {
  const std::string name(control);
  Change(control, Field::Action, nullptr, [this, name, address] { ShowHtml(name, address); });
}

void QtWindowPort::ShowHtml(const std::string& control, const Text& address) {
  auto* view = window_->ControlAs<QTextBrowser>(control);
  if (view == nullptr) return;
  const std::uint64_t generation = ++htmlGeneration_[control];
  view->clear();
  HtmlFetcher fetcher;
  {
    std::lock_guard lock(shared_->mutex);
    fetcher = shared_->fetcher;
  }
  if (!fetcher) return;
  // The fetch may take long: it runs on a thread of its own and the page is posted back.
  std::thread([this, shared = shared_, fetcher, control, address, generation] {
    const Text html = fetcher(address);
    std::lock_guard lock(shared->mutex);
    if (shared->closed) return;
    QMetaObject::invokeMethod(
        shared->context,
        [this, control, address, generation, html] {
          auto* view = window_ ? window_->ControlAs<QTextBrowser>(control) : nullptr;
          // A later load replaces this one.
          if (view == nullptr || htmlGeneration_[control] != generation) return;
          view->setHtml(ToDisplay(html));
          view->document()->setBaseUrl(QUrl(ToDisplay(address)));
        },
        Qt::QueuedConnection);
  }).detach();
}

void QtWindowPort::OpenInBrowser(const Text& address) {
  const QString shown = ToDisplay(address);
  Change("", Field::Action, nullptr, [this, shown] {
    if (urlOpener_) urlOpener_(shown);
  });
}

void QtWindowPort::SetHtmlFetcher(HtmlFetcher fetcher) {
  std::lock_guard lock(shared_->mutex);
  shared_->fetcher = std::move(fetcher);
}

void QtWindowPort::SetUrlOpener(std::function<void(const QString&)> opener) {
  urlOpener_ = std::move(opener);
}

QMessageBox* QtWindowPort::MakeBox(const Text& text, const Text& caption, bool question) {
  // No owner and not modal: the window stays usable while the box is up.
  auto* box = new QMessageBox(QMessageBox::NoIcon, ToDisplay(caption), ToDisplay(text),
                              question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box->setTextFormat(Qt::PlainText);
  box->setWindowModality(Qt::NonModal);
  openBoxes_.emplace_back(box);
  QObject::connect(box, &QDialog::finished, box, [box] { box->deleteLater(); });
  return box;
}

void QtWindowPort::MessageBox(const Text& text, const Text& caption) {
  ShowBox(text, caption, false);
}

bool QtWindowPort::AskYesNo(const Text& text, const Text& caption) {
  return ShowBox(text, caption, true);
}

bool QtWindowPort::ShowBox(const Text& text, const Text& caption, bool question) {
  if (OnUiThread()) {
    if (IsClosed()) return false;
    QMessageBox* box = MakeBox(text, caption, question);
    bool yes = false;
    QEventLoop loop;
    QObject::connect(box, &QDialog::finished, &loop, [&loop, &yes, box] {
      yes = box->clickedButton() == box->button(QMessageBox::Yes);
      loop.quit();
    });
    box->show();
    loop.exec();
    return yes;
  }

  std::shared_ptr<Shared> shared = shared_;
  auto pending = std::make_shared<PendingBox>();
  std::unique_lock lock(shared->mutex);
  if (shared->closed) return false;
  shared->pendingBoxes.push_back(pending);
  QMetaObject::invokeMethod(
      shared->context,
      [this, shared, pending, text, caption, question] {
        if (IsClosed()) return;  // the waiting worker has been released already
        QMessageBox* box = MakeBox(text, caption, question);
        QObject::connect(box, &QDialog::finished, shared->context, [shared, pending, box] {
          std::lock_guard lock(shared->mutex);
          pending->yes = box->clickedButton() == box->button(QMessageBox::Yes);
          pending->done = true;
          shared->boxClosed.notify_all();
        });
        box->show();
      },
      Qt::QueuedConnection);
  shared->boxClosed.wait(lock, [&] { return pending->done; });
  std::erase(shared->pendingBoxes, pending);
  return pending->yes;
}

void QtWindowPort::Close() {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed) return;
    shared_->closed = true;
    for (auto& pending : shared_->pendingBoxes) pending->done = true;
    shared_->boxClosed.notify_all();
  }
  for (QPointer<QMessageBox>& box : openBoxes_) {
    if (box) box->reject();
  }
  openBoxes_.clear();
}

bool QtWindowPort::IsClosed() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->closed;
}

}  // namespace sucaigang
