#include "service/login_flow.h"

#include "app/activity_log.h"
#include "app/app_controller.h"
#include "app/settings_file.h"
#include "http/http_request.h"
#include "script/json_document.h"
#include "script/time_text.h"
#include "service/protocol.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

struct Level {
  Text name;
  Text endTime;
};

Level LevelOf(const JsonDocument& answer) {
  const Text vip = answer.GetText("data.vip");
  if (vip == "1" || vip == "2") {
    return {vip == "1" ? "黄金会员"_gbk : "钻石会员"_gbk,
            TimestampText(answer.GetText("data['vip_g']"))};
  }
  return {"注册会员"_gbk, {}};
}

void ShowRefusal(Window& window, const Text& info) {
  if (info.empty()) {
    const Text failed = "服务器连接失败！"_gbk;
    window.SetText("透明标签_登陆提示", failed);
    LogLine(window, failed);
    window.MessageBox(failed);
    return;
  }
  window.SetText("透明标签_登陆提示", info);
  window.MessageBox(info);
  LogLine(window, info);
}

void ShowAccount(const FlowContext& context, const JsonDocument& answer) {
  Window& window = context.window;
  window.SetVisible("分组框2", true);
  window.SetEnabled("按钮_登陆", false);
  window.SetEnabled("按钮_注册", false);
  context.values.ReplaceAccount(UrlEncode(window.GetText("编辑框_user"), true, true),
                                answer.GetText("data.password"));
  SaveCredentials(window, context.settingsPath);

  const Level level = LevelOf(answer);
  const Text coins = answer.GetText("data.Integral");
  const Text nickname = answer.GetText("data.nickname");
  window.SetText("透明标签_username", "用户名："_gbk + nickname);
  window.SetText("透明标签_username1", "用户等级："_gbk + level.name + "  " + level.endTime);
  window.SetText("透明标签_username2", "金币："_gbk + coins);
  window.SetText("透明标签_username3", "签到积分："_gbk + answer.GetText("data.points") +
                                           " （网站个人中心签到获取）"_gbk);

  if (window.GetText("透明标签_登陆提示") == "正在登陆，请稍等"_gbk) {
    LogLine(window, "登陆成功！"_gbk);
    window.SetEnabled("按钮_解析", true);
    window.MessageBox("登陆成功"_gbk);
    window.SetText("透明标签_登陆提示", "等待更新信息"_gbk);
  }
}

}  // namespace

void LoginFlow(const FlowContext& context) {
  Window& window = context.window;
  JsonDocument answer;
  window.LoadHtmlView("超文本浏览框1", NewsPageAddress(context.endpoints.webHome));

  const Text user = window.GetText("编辑框_user");
  const Text pass = window.GetText("编辑框_pass");
  if (user.empty() || pass.empty()) {
    window.SetText("透明标签_登陆提示", "");
    window.MessageBox("请输入完整的信息"_gbk);
    return;
  }

  const Text body = HttpRequest(LoginAddress(context.endpoints, user, pass),
                                {.method = 0, .extraHeaders = LoginHeaders(context.endpoints)});
  answer.Parse(Utf8ToGbk(body));
  if (answer.GetObject("code").ToText() == "200") {
    ShowAccount(context, answer);
  } else {
    ShowRefusal(window, answer.GetText("info"));
  }
}

}  // namespace sucaigang
