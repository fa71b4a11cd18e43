#include "app/main_window_layout.h"

#include <array>

#include "text/encoding.h"

namespace sucaigang {
namespace {

constexpr std::string_view kWelcomeUtf8 =
    "欢迎使用由【远山】赞助开发的素材港永久免费解析服务，该软件只供学习参考使用。\r\n"
    "部分杀毒误报，介意者请勿使用！\r\n\r\n";

using K = ControlKind;

// 透明标签_更新 follows 进度条_更新 so that the read-out stays readable on top of the bar.
constexpr std::array kControls = {
    ControlEntry{"分组框1", K::GroupBox, "", 16, 16, 312, 184, "登陆"},
    ControlEntry{"透明标签1", K::Label, "分组框1", 24, 32, 40, 32, "用户："},
    ControlEntry{"编辑框_user", K::Edit, "分组框1", 64, 32, 184, 32, ""},
    ControlEntry{"透明标签2", K::Label, "分组框1", 24, 72, 40, 32, "密码："},
    ControlEntry{"编辑框_pass", K::PasswordEdit, "分组框1", 64, 72, 184, 32, ""},
    ControlEntry{"透明标签_登陆提示", K::Label, "分组框1", 64, 104, 184, 24, ""},
    ControlEntry{"按钮_登陆", K::Button, "分组框1", 48, 128, 80, 32, "登陆", true, false},
    ControlEntry{"按钮_注册", K::Button, "分组框1", 176, 128, 80, 32, "注册"},
    ControlEntry{"分组框2", K::GroupBox, "", 16, 16, 312, 184, "个人中心", false},
    ControlEntry{"透明标签_username", K::Label, "分组框2", 8, 23, 249, 24, "username："},
    ControlEntry{"透明标签_username1", K::Label, "分组框2", 8, 52, 233, 24, "用户等级："},
    ControlEntry{"透明标签_username2", K::Label, "分组框2", 8, 81, 233, 24, "金币："},
    ControlEntry{"透明标签_username3", K::Label, "分组框2", 8, 112, 233, 24, "签到积分："},
    ControlEntry{"进度条1", K::ProgressBar, "分组框2", 6, 146, 296, 16, "", false},
    ControlEntry{"透明标签_下载速度", K::Label, "分组框2", 9, 162, 296, 16, "", false},
    ControlEntry{"分组框3", K::GroupBox, "", 333, 17, 424, 184, ""},
    ControlEntry{"透明标签3", K::Label, "分组框3", 8, 24, 72, 24, "素材港地址："},
    ControlEntry{"编辑框1", K::Edit, "分组框3", 88, 24, 232, 24, ""},
    ControlEntry{"按钮_解析", K::Button, "分组框3", 337, 20, 80, 32, "解析"},
    ControlEntry{"外形框1", K::ShapeBox, "分组框3", 3, 55, 416, 120, ""},
    ControlEntry{"编辑框2", K::LogEdit, "外形框1", 2, 3, 412, 115, kWelcomeUtf8},
    ControlEntry{"进度条_更新", K::ProgressBar, "外形框1", 8, 72, 384, 24, "", false},
    ControlEntry{"透明标签_更新", K::Label, "外形框1", 64, 74, 240, 21, "等待更新", false},
    ControlEntry{"时钟1", K::Timer, "外形框1", 0, 0, 0, 0, ""},
    ControlEntry{"分组框4", K::GroupBox, "", 14, 212, 745, 184, "广而告之"},
    ControlEntry{"超文本浏览框1", K::HtmlView, "分组框4", -3, -4, 776, 248, ""},
};

}  // namespace

std::span<const ControlEntry> MainWindowControls() { return kControls; }

const ControlEntry* FindControl(std::string_view name) {
  for (const ControlEntry& c : kControls) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

Text MainWindowTitle() { return Utf8ToGbk(kMainWindowTitleUtf8); }

Text WelcomeText() { return Utf8ToGbk(kWelcomeUtf8); }

Text ExampleStockPageAddress(const Text& stockHome) {
  Text address = stockHome;
  if (address.empty() || address.back() != '/') address += '/';
  return address + "sucai/10001.html";
}

}  // namespace sucaigang
