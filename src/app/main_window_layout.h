#pragma once
// The main window's controls as data: the Qt window is built from this table and the recording
// window of the tests starts from it, so both agree on names and initial state.
#include <span>
#include <string_view>

#include "text/text.h"

namespace sucaigang {

enum class ControlKind {
  GroupBox,
  Label,         // transparent label
  Edit,          // single-line edit box
  PasswordEdit,  // single-line, masked with "*"
  LogEdit,       // multi-line, read-only, vertical scroll bar, green on white
  Button,
  ProgressBar,  // range 0..100
  ShapeBox,
  Timer,  // periodic, not drawn
  HtmlView,
};

struct ControlEntry {
  std::string_view name;  // UTF-8, the control's name
  ControlKind kind;
  std::string_view parent;  // empty: the window itself
  int x = 0, y = 0, width = 0, height = 0;
  std::string_view text;  // initial text or caption, UTF-8
  bool visible = true;
  bool enabled = true;
};

// In creation order: parents before children, and later controls above earlier siblings.
std::span<const ControlEntry> MainWindowControls();
const ControlEntry* FindControl(std::string_view name);

inline constexpr std::string_view kMainWindowTitleUtf8 = "素材港解析软件永久免费版 ";
inline constexpr int kMainWindowX = 50, kMainWindowY = 50;
inline constexpr int kMainWindowWidth = 770, kMainWindowHeight = 440;  // outer size

Text MainWindowTitle();
// The log's first content, GBK.
Text WelcomeText();
// An example 素材港 resource page under the stock home (which ends in "/"), for 编辑框1.
Text ExampleStockPageAddress(const Text& stockHome);

}  // namespace sucaigang
