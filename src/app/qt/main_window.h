#pragma once
// The program's one window, built from the control table: every control is a child widget whose
// objectName is its name, at its place and size (no layouts).
#include <QWidget>
#include <map>
#include <string>
#include <string_view>

#include "text/text.h"

class QTimer;

namespace sucaigang {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `exampleAddress` is the first text of 编辑框1 (GBK).
  explicit MainWindow(const Text& exampleAddress, QWidget* parent = nullptr);

  // The control's object (a widget, or the QTimer of 时钟1); nullptr for unknown names.
  QObject* Control(std::string_view name) const;
  template <typename T>
  T* ControlAs(std::string_view name) const {
    return qobject_cast<T*>(Control(name));
  }

 signals:
  void Closing();          // the window is about to close
  void UserPagePressed();  // left button down on 透明标签_username3

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::map<std::string, QObject*, std::less<>> controls_;
  bool placed_ = false;
};

// GBK Text shown in a widget: line breaks as the widget expects them.
QString ToDisplay(const Text& text);
Text FromDisplay(const QString& text);

}  // namespace sucaigang
