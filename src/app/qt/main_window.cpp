#include "app/qt/main_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include "app/main_window_layout.h"
#include "text/encoding.h"

namespace sucaigang {

QString ToDisplay(const Text& text) {
  QString shown = QString::fromUtf8(GbkToUtf8(text));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

Text FromDisplay(const QString& text) { return Utf8ToGbk(text.toUtf8().toStdString()); }

namespace {

QString FromUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QObject* MakeControl(const ControlEntry& entry, QWidget* parent) {
  const QString text = ToDisplay(Utf8ToGbk(entry.text));
  switch (entry.kind) {
    case ControlKind::GroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::Label: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);  // service texts are never markup
      return label;
    }
    case ControlKind::Edit:
      return new QLineEdit(text, parent);
    case ControlKind::PasswordEdit: {
      auto* edit = new QLineEdit(text, parent);
      edit->setEchoMode(QLineEdit::Password);
      edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
      return edit;
    }
    case ControlKind::LogEdit: {
      auto* log = new QPlainTextEdit(text, parent);
      log->setReadOnly(true);
      log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      log->setStyleSheet(QStringLiteral(
          "QPlainTextEdit { color: rgb(0, 128, 0); background-color: rgb(255, 255, 255); "
          "border: 1px solid #a9bfd4; }"));
      QPalette palette = log->palette();
      palette.setColor(QPalette::Text, QColor(0, 128, 0));
      palette.setColor(QPalette::Base, Qt::white);
      log->setPalette(palette);
      return log;
    }
    case ControlKind::Button:
      return new QPushButton(text, parent);
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::ShapeBox: {
      auto* frame = new QFrame(parent);
      frame->setFrameShape(QFrame::Box);
      frame->setFrameShadow(QFrame::Plain);
      frame->setProperty("shapeBox", true);  // for the skin
      return frame;
    }
    case ControlKind::Timer:
      return new QTimer(parent);
    case ControlKind::HtmlView: {
      auto* view = new QTextBrowser(parent);
      view->setOpenLinks(false);  // links go to the browser, see the window port
      return view;
    }
  }
  return nullptr;
}

}  // namespace

MainWindow::MainWindow(const Text& exampleAddress, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(ToDisplay(MainWindowTitle()));
  QFont font = this->font();
  font.setPixelSize(12);
  setFont(font);
  move(kMainWindowX, kMainWindowY);
  resize(kMainWindowWidth, kMainWindowHeight);

  for (const ControlEntry& entry : MainWindowControls()) {
    QWidget* parentWidget = this;
    if (!entry.parent.empty()) parentWidget = qobject_cast<QWidget*>(Control(entry.parent));
    QObject* control = MakeControl(entry, parentWidget);
    control->setObjectName(FromUtf8(entry.name));
    if (auto* widget = qobject_cast<QWidget*>(control)) {
      widget->setGeometry(entry.x, entry.y, entry.width, entry.height);
      widget->setVisible(entry.visible);
      widget->setEnabled(entry.enabled);
    }
    controls_.emplace(std::string(entry.name), control);
  }
  ControlAs<QLineEdit>("编辑框1")->setText(ToDisplay(exampleAddress));
  ControlAs<QLineEdit>("编辑框1")->setCursorPosition(0);  // show the address from its start
  // 分组框2 covers 分组框1 exactly when shown.
  ControlAs<QWidget>("分组框2")->raise();
  ControlAs<QWidget>("透明标签_username3")->installEventFilter(this);
}

QObject* MainWindow::Control(std::string_view name) const {
  auto found = controls_.find(name);
  return found == controls_.end() ? nullptr : found->second;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  emit Closing();
  QWidget::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_) return;
  placed_ = true;
  // The place and size are those of the outer window, frame included.
  const QRect frame = frameGeometry();
  const QSize client = size();
  const int frameWidth = frame.width() - client.width();
  const int frameHeight = frame.height() - client.height();
  if (frameWidth > 0 || frameHeight > 0) {
    resize(kMainWindowWidth - frameWidth, kMainWindowHeight - frameHeight);
    move(kMainWindowX, kMainWindowY);
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
      watched == Control("透明标签_username3")) {
    emit UserPagePressed();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace sucaigang
