#include "app/app_controller.h"

#include <thread>
#include <utility>

#include "app/settings_file.h"
#include "text/encoding.h"

namespace sucaigang {

AppController::AppController(Window& window, SessionValues& values, ControllerSettings settings,
                             FlowSeams seams)
    : window_(window), values_(values), settings_(std::move(settings)), seams_(std::move(seams)) {}

void AppController::StartThread(const std::function<void()>& body) {
  if (!body) return;
  if (seams_.startThread) {
    seams_.startThread(body);
  } else {
    std::thread(body).detach();
  }
}

void AppController::OnWindowCreated() {
  // The HTML view's content is part of the window as it is made; the load does not block.
  window_.LoadHtmlView("超文本浏览框1", NewsPageAddress(settings_.webHome));
  if (seams_.attachSkin) seams_.attachSkin();
  RestoreCredentials(window_, settings_.settingsPath);
  if (seams_.updateCheck) seams_.updateCheck();
}

void AppController::OnLoginClicked() {
  window_.SetVisible("透明标签_登陆提示", true);
  window_.SetText("透明标签_登陆提示", "正在登陆，请稍等"_gbk);
  StartThread(seams_.loginFlow);
}

void AppController::OnParseClicked() {
  if (window_.GetText("编辑框1").empty()) {
    window_.MessageBox("请输入正确的素材港地址！"_gbk);
    return;
  }
  if (window_.GetText("按钮_解析") != "解析"_gbk) {
    window_.MessageBox("为了云账号安全，请稍等一会再次解析。"_gbk);
    return;
  }
  if (seams_.logLine) seams_.logLine("正在开始解析下载"_gbk);
  StartThread(seams_.parseFlow);
  window_.SetEnabled("按钮_解析", false);
}

void AppController::OnRegisterClicked() { window_.OpenInBrowser(settings_.webHome); }

void AppController::OnUserPagePressed() {
  window_.OpenInBrowser(UserPageAddress(settings_.webHome));
}

void AppController::OnCountdownTick() {
  const std::int32_t ticks = ++values_.CountdownTicks;
  if (ticks <= 60) {
    window_.SetText("按钮_解析", std::to_string(61 - ticks) + "S");
    return;
  }
  values_.CountdownTicks = 0;
  window_.SetTimerPeriod("时钟1", 0);
  window_.SetText("按钮_解析", "解析"_gbk);
  window_.SetEnabled("按钮_解析", true);
}

}  // namespace sucaigang
