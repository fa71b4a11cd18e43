#include "app/qt/qt_shell.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <thread>

#include "app/qt/skin.h"

namespace sucaigang {

QtShell::QtShell(ShellOptions options)
    : values_(std::make_unique<SessionValues>()),
      window_(std::make_unique<MainWindow>(options.exampleAddress)),
      port_(std::make_unique<QtWindowPort>(*window_)),
      controller_(std::make_unique<AppController>(*port_, *values_, options.controller)),
      running_(std::make_shared<std::atomic<int>>(0)) {
  FlowSeams& seams = controller_->Seams();
  seams.attachSkin = [this] { AttachSkinTo(*window_); };
  seams.startThread = [running = running_](std::function<void()> body) {
    ++*running;
    std::thread([running, body = std::move(body)] {
      body();
      --*running;
    }).detach();
  };

  AppController* c = controller_.get();
  MainWindow* w = window_.get();
  auto button = [w](const char* name) { return w->ControlAs<QPushButton>(name); };
  QObject::connect(button("按钮_登陆"), &QPushButton::clicked, w, [c] { c->OnLoginClicked(); });
  QObject::connect(button("按钮_解析"), &QPushButton::clicked, w, [c] { c->OnParseClicked(); });
  QObject::connect(button("按钮_注册"), &QPushButton::clicked, w, [c] { c->OnRegisterClicked(); });
  QObject::connect(w, &MainWindow::UserPagePressed, w, [c] { c->OnUserPagePressed(); });
  QObject::connect(w->ControlAs<QTimer>("时钟1"), &QTimer::timeout, w,
                   [c] { c->OnCountdownTick(); });
  QtWindowPort* port = port_.get();
  QObject::connect(w, &MainWindow::Closing, w, [port] {
    port->Close();  // boxes go, waiting workers return
    QCoreApplication::quit();
  });
}

QtShell::~QtShell() {
  port_->Close();
  if (running_->load() != 0) {
    // A flow thread still runs and holds the port and the values: leave them to the process's
    // end instead of pulling them from under it. Only the widgets go now.
    (void)controller_.release();
    (void)port_.release();
    (void)values_.release();
  }
  controller_.reset();
  port_.reset();
  window_.reset();
}

bool QtShell::Start() {
  window_->show();
  controller_->OnWindowCreated();
  return !port_->IsClosed();
}

void PumpUiEvents() {
  if (QCoreApplication::instance() != nullptr &&
      QThread::currentThread() == QCoreApplication::instance()->thread()) {
    QCoreApplication::processEvents();
  }
}

}  // namespace sucaigang
