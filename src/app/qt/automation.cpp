#include "app/qt/automation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTextBrowser>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/main_window_layout.h"
#include "app/qt/main_window.h"

namespace sucaigang {

namespace {

struct Step {
  int line = 0;
  QString verb{};
  QString control{};  // or the single argument of ok/yes/no/shot/dump/sleep
  QString text{};
  QString source{};
};

QString ControlText(QObject* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
  if (auto* log = qobject_cast<QPlainTextEdit*>(control)) return log->toPlainText();
  if (auto* view = qobject_cast<QTextBrowser*>(control)) return view->toPlainText();
  if (auto* bar = qobject_cast<QProgressBar*>(control)) return QString::number(bar->value());
  if (auto* timer = qobject_cast<QTimer*>(control)) {
    return QString::number(timer->isActive() ? timer->interval() : 0);
  }
  return {};
}

QString Escaped(QString text) {
  return text.replace(u'\\', QStringLiteral("\\\\"))
      .replace(u'\t', QStringLiteral("\\t"))
      .replace(u'\n', QStringLiteral("\\n"))
      .replace(u'\r', QStringLiteral("\\r"));
}

class Automation : public QObject {
 public:
  Automation(MainWindow& window, std::vector<Step> steps, int timeoutMs)
      : QObject(&window), window_(&window), steps_(std::move(steps)), timeoutMs_(timeoutMs) {
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_.start();
    stepClock_.start();
  }

 private:
  // Runs steps until one has to wait. A step that opens a nested event loop (a box shown on the UI
  // thread) lets later ticks go on with the steps after it, so the index moves on before acting.
  void Tick() {
    while (window_ && index_ < steps_.size()) {
      const Step step = steps_[index_];
      if (announced_ != index_) {
        announced_ = index_;
        std::fprintf(stderr, "automation: %s\n", qPrintable(step.source));
      }
      if (!Run(step)) return;
    }
    timer_.stop();
  }

  void Next() {
    ++index_;
    stepClock_.restart();
  }

  // False while the step waits.
  bool Waiting(const Step& step, const QString& detail) {
    if (stepClock_.elapsed() < timeoutMs_) return false;
    Fail(step, QStringLiteral("timed out after %1 ms; %2").arg(timeoutMs_).arg(detail));
    return false;
  }

  [[noreturn]] void Fail(const Step& step, const QString& reason) {
    std::fprintf(stderr, "automation: line %d \"%s\" failed: %s\n", step.line,
                 qPrintable(step.source), qPrintable(reason));
    std::fflush(nullptr);
    // Flow threads may still run: leave at once rather than tear objects down under them.
    std::_Exit(kAutomationFailed);
  }

  QObject* ControlOf(const Step& step) {
    QObject* control = window_->Control(step.control.toStdString());
    if (control == nullptr) Fail(step, QStringLiteral("no control of that name"));
    return control;
  }

  QWidget* WidgetOf(const Step& step) {
    auto* widget = qobject_cast<QWidget*>(ControlOf(step));
    if (widget == nullptr) Fail(step, QStringLiteral("not a widget"));
    return widget;
  }

  bool Run(const Step& step) {
    const QString& verb = step.verb;
    if (verb == u"wait") {
      const QString now = ControlText(ControlOf(step));
      if (now != step.text) return Waiting(step, QStringLiteral("it shows \"%1\"").arg(now));
    } else if (verb == u"waitcontains") {
      const QString now = ControlText(ControlOf(step));
      if (!now.contains(step.text)) {
        return Waiting(step, QStringLiteral("it shows \"%1\"").arg(now));
      }
    } else if (verb == u"waitenabled") {
      if (!WidgetOf(step)->isEnabled()) return Waiting(step, QStringLiteral("still disabled"));
    } else if (verb == u"waitvisible") {
      if (WidgetOf(step)->isHidden()) return Waiting(step, QStringLiteral("still hidden"));
    } else if (verb == u"ok" || verb == u"yes" || verb == u"no") {
      return AnswerBox(step);
    } else if (verb == u"sleep") {
      if (stepClock_.elapsed() < step.control.toLongLong()) return false;
    } else {
      Next();
      Act(step);
      return true;
    }
    Next();
    return true;
  }

  bool AnswerBox(const Step& step) {
    QStringList shown;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(top);
      if (box == nullptr || !box->isVisible()) continue;
      if (!step.text.isNull() && box->text() != step.text) {
        shown << box->text();
        continue;
      }
      QAbstractButton* button = step.verb == u"no"    ? box->button(QMessageBox::No)
                                : step.verb == u"yes" ? box->button(QMessageBox::Yes)
                                                      : box->button(QMessageBox::Ok);
      if (button == nullptr && step.verb == u"ok") button = box->button(QMessageBox::Yes);
      if (button == nullptr)
        Fail(step, QStringLiteral("the box \"%1\" has no such button").arg(box->text()));
      Next();
      button->click();  // may run a nested loop: the next steps go on from there
      return true;
    }
    return Waiting(
        step,
        shown.isEmpty()
            ? QStringLiteral("no box shown")
            : QStringLiteral("boxes shown: \"%1\"").arg(shown.join(QStringLiteral("\", \""))));
  }

  void Act(const Step& step) {
    const QString& verb = step.verb;
    if (verb == u"set") {
      auto* edit = qobject_cast<QLineEdit*>(ControlOf(step));
      if (edit == nullptr) Fail(step, QStringLiteral("not an edit box"));
      if (!edit->isEnabled() || edit->isReadOnly()) Fail(step, QStringLiteral("not editable"));
      edit->setFocus();
      edit->selectAll();
      edit->insert(step.text);  // replaces the selection as typed text does
    } else if (verb == u"click") {
      QWidget* widget = WidgetOf(step);
      if (!widget->isEnabled()) Fail(step, QStringLiteral("it is disabled"));
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->click();
      } else {
        const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
        const QPointF global = widget->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &release);
      }
    } else if (verb == u"shot") {
      if (!window_->grab().save(step.control)) Fail(step, QStringLiteral("cannot write the file"));
    } else if (verb == u"dump") {
      Dump(step);
    } else if (verb == u"quit") {
      index_ = steps_.size();  // nothing runs after it
      timer_.stop();
      window_->close();
    }
  }

  void Dump(const Step& step) {
    QString out;
    for (const ControlEntry& entry : MainWindowControls()) {
      QObject* control = window_->Control(entry.name);
      auto* widget = qobject_cast<QWidget*>(control);
      out += QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size())) +
             u'\t' + Escaped(ControlText(control)) + u'\t' +
             (widget != nullptr && !widget->isHidden() ? u'1' : u'0') + u'\t' +
             (widget == nullptr || widget->isEnabled() ? u'1' : u'0') + u'\n';
    }
    out += QStringLiteral("title\t") + Escaped(window_->windowTitle()) + u'\n';
    QFile file(step.control);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(out.toUtf8()) < 0) {
      Fail(step, QStringLiteral("cannot write the file"));
    }
  }

  QPointer<MainWindow> window_;
  std::vector<Step> steps_;
  int timeoutMs_;
  std::size_t index_ = 0;
  std::size_t announced_ = static_cast<std::size_t>(-1);
  QTimer timer_;
  QElapsedTimer stepClock_;
};

// Splits "verb control text" (or "verb argument" for the steps without a control).
bool ParseStep(int line, const QString& source, Step& step, QString& error) {
  step = {.line = line, .source = source};
  const qsizetype space = source.indexOf(u' ');
  step.verb = source.left(space);
  const QString rest = space < 0 ? QString() : source.mid(space + 1);
  static const QStringList kWithControl = {
      QStringLiteral("wait"),        QStringLiteral("waitcontains"), QStringLiteral("waitenabled"),
      QStringLiteral("waitvisible"), QStringLiteral("set"),          QStringLiteral("click")};
  static const QStringList kWithArgument = {QStringLiteral("ok"),   QStringLiteral("yes"),
                                            QStringLiteral("no"),   QStringLiteral("shot"),
                                            QStringLiteral("dump"), QStringLiteral("sleep"),
                                            QStringLiteral("quit")};
  if (kWithControl.contains(step.verb)) {
    const qsizetype split = rest.indexOf(u' ');
    step.control = rest.left(split);
    // Without a text, wait and set mean the empty text.
    step.text = split < 0 ? QStringLiteral("") : rest.mid(split + 1);
  } else if (kWithArgument.contains(step.verb)) {
    step.control = rest;
    if (space >= 0) step.text = rest;  // ok/yes/no: the box text when given
  } else {
    error = QStringLiteral("unknown step");
    return false;
  }
  const bool needsArgument = step.verb == u"shot" || step.verb == u"dump" ||
                             step.verb == u"sleep" || kWithControl.contains(step.verb);
  if (needsArgument && step.control.isEmpty()) {
    error = QStringLiteral("missing argument");
    return false;
  }
  return true;
}

}  // namespace

bool StartAutomationFromEnvironment(MainWindow& window) {
  const QString path = qEnvironmentVariable("SUCAIGANG_AUTOMATION");
  if (path.isEmpty()) return true;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "automation: cannot read %s\n", qPrintable(path));
    return false;
  }
  std::vector<Step> steps;
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString source = lines[i];
    if (source.endsWith(u'\r')) source.chop(1);
    if (source.trimmed().isEmpty() || source.startsWith(u'#')) continue;
    Step step;
    QString error;
    if (!ParseStep(static_cast<int>(i) + 1, source, step, error)) {
      std::fprintf(stderr, "automation: %s line %lld \"%s\": %s\n", qPrintable(path),
                   static_cast<long long>(i) + 1, qPrintable(source), qPrintable(error));
      return false;
    }
    steps.push_back(std::move(step));
  }
  bool given = false;
  const int timeout = qEnvironmentVariableIntValue("SUCAIGANG_AUTOMATION_TIMEOUT_MS", &given);
  new Automation(window, std::move(steps), given && timeout > 0 ? timeout : 20000);
  return true;
}

}  // namespace sucaigang
