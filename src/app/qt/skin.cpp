#include "app/qt/skin.h"

#include <QString>
#include <QWidget>

namespace sucaigang {

QString SkinStyleSheet() {
  return QStringLiteral(R"css(
#mainWindow { background-color: #e9f0f7; }
QGroupBox {
  background-color: #f7fafd;
  border: 1px solid #a3b9cf;
  border-radius: 4px;
}
/* The caption sits inside the frame, so a panel hides everything under it (分组框2 over 分组框1). */
QGroupBox::title {
  subcontrol-origin: border;
  subcontrol-position: top left;
  left: 8px;
  top: 3px;
  padding: 0 3px;
  color: #1d4f7c;
}
QLabel { color: #22313f; background: transparent; }
/* The level line carries a full end time ("2030-01-01 00:00:00") in a 233 px label. */
QGroupBox#分组框2 QLabel { font-size: 11px; }
QLineEdit {
  background-color: #ffffff;
  border: 1px solid #a9bfd4;
  border-radius: 3px;
  padding: 0 4px;
  selection-background-color: #4a86c5;
}
QLineEdit:focus { border-color: #3c7cc0; }
QPushButton {
  color: #143d63;
  border: 1px solid #5f8fc2;
  border-radius: 4px;
  background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d3e4f5);
}
QPushButton:hover {
  background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e2eefa);
}
QPushButton:pressed { background-color: #bed5ec; }
QPushButton:disabled { color: #98a6b3; border-color: #c3cdd7; background-color: #eef2f6; }
QProgressBar {
  background-color: #ffffff;
  border: 1px solid #a3b9cf;
  border-radius: 3px;
}
QProgressBar::chunk { background-color: #3d8fd6; }
QFrame[shapeBox="true"] { border: 1px solid #8fa9c3; background-color: #ffffff; }
QTextBrowser { background-color: #ffffff; border: none; }
QScrollBar:vertical { background: #eef3f8; width: 14px; margin: 0; }
QScrollBar::handle:vertical { background: #b7c9db; border-radius: 4px; min-height: 20px; margin: 2px; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
)css");
}

void AttachSkinTo(QWidget& window) { window.setStyleSheet(SkinStyleSheet()); }

}  // namespace sucaigang
