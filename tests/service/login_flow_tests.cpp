#include "service/login_flow.h"

#include <gtest/gtest.h>

#include "flow_fixture.h"
#include "script/time_text.h"

namespace sucaigang::testing {
namespace {

using standin::Host;

class LoginFlowTest : public FlowTest {
 protected:
  // Types the credentials and runs a login as the 登陆 button starts it.
  void LogIn(const char* user, const char* pass) {
    window_->SetText("编辑框_user", Utf8ToGbk(user));
    window_->SetText("编辑框_pass", Utf8ToGbk(pass));
    window_->SetText("透明标签_登陆提示", "正在登陆，请稍等"_gbk);
    window_->ClearCalls();
    LoginFlow(Context());
  }
  std::string Label(const char* control) { return U8(window_->GetText(control)); }
};

TEST_F(LoginFlowTest, AcceptedLoginShowsTheAccountByLevel) {
  struct Case {
    const char *user, *pass, *nickname, *level, *coins, *points, *token;
  } cases[] = {
      {"plain", "pw0", "普通用户", "注册会员  ", "10", "1", "tok-plain"},
      {"gold", "pw1", "黄金用户", nullptr, "200", "12", "tok-gold"},
      {"diamond", "pw2", "钻石用户", nullptr, "9999", "88", "tok-diamond"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user);
    window_->SetEnabled("按钮_登陆", true);
    window_->SetEnabled("按钮_解析", false);
    LogIn(c.user, c.pass);
    EXPECT_TRUE(window_->IsVisible("分组框2"));
    EXPECT_FALSE(window_->IsEnabled("按钮_登陆"));
    EXPECT_FALSE(window_->IsEnabled("按钮_注册"));
    EXPECT_TRUE(window_->IsEnabled("按钮_解析"));
    EXPECT_EQ(Label("透明标签_username"), std::string("用户名：") + c.nickname);
    std::string level = c.level ? c.level : "";
    if (!c.level) {
      const char* stamp = std::string(c.user) == "gold" ? "1700000000" : "1893427200";
      level = std::string(std::string(c.user) == "gold" ? "黄金会员" : "钻石会员") + "  " +
              U8(TimestampText(stamp));
      EXPECT_EQ(U8(TimestampText(stamp)).size(), 19u);
    }
    EXPECT_EQ(Label("透明标签_username1"), "用户等级：" + level);
    EXPECT_EQ(Label("透明标签_username2"), std::string("金币：") + c.coins);
    EXPECT_EQ(Label("透明标签_username3"),
              std::string("签到积分：") + c.points + " （网站个人中心签到获取）");
    EXPECT_EQ(Label("透明标签_登陆提示"), "等待更新信息");
    EXPECT_EQ(values_.AccountUser(), c.user);
    EXPECT_EQ(values_.AccountPass(), c.token);
    ASSERT_EQ(window_->Boxes().size(), 1u);
    EXPECT_EQ(U8(window_->Boxes()[0].text), "登陆成功");
    EXPECT_NE(Log().find("\r\n登陆成功！\r\n"), std::string::npos);
    EXPECT_EQ(SettingsBytes(),
              std::string("[conf]\r\nuser=") + c.user + "\r\npass=" + c.pass + "\r\n");
    EXPECT_EQ(U8(window_->HtmlViewAddress("超文本浏览框1")), service_->WebHome() + "gg/index.html");
    std::filesystem::remove(SettingsPath());
    window_ = std::make_unique<RecordingWindow>();
  }
}

TEST_F(LoginFlowTest, RefusalsChangeNothingButTheStatusBoxAndLog) {
  values_.ReplaceAccount("before", "kept");
  std::ofstream(SettingsPath(), std::ios::binary) << "[conf]\r\nuser=old\r\npass=old\r\n";
  struct Case {
    const char *user, *pass, *shown;
  } cases[] = {
      {"stringcode", "pw", "登陆成功"},  // code is the string "200": refused, info shown
      {"banned", "pw", "该账号已被禁用，请联系管理员"},
      {"plain", "wrong", nullptr},  // the stand-in's own refusal text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user);
    window_ = std::make_unique<RecordingWindow>();
    LogIn(c.user, c.pass);
    const std::string status = Label("透明标签_登陆提示");
    if (c.shown) {
      EXPECT_EQ(status, c.shown);
    }
    EXPECT_FALSE(status.empty());
    ASSERT_EQ(window_->Boxes().size(), 1u);
    EXPECT_EQ(U8(window_->Boxes()[0].text), status);
    EXPECT_NE(Log().find("\r\n" + status + "\r\n"), std::string::npos);
    EXPECT_FALSE(window_->IsVisible("分组框2"));
    EXPECT_EQ(values_.AccountUser(), "before");
    EXPECT_EQ(values_.AccountPass(), "kept");
    EXPECT_EQ(SettingsBytes(), "[conf]\r\nuser=old\r\npass=old\r\n");
  }
}

TEST_F(LoginFlowTest, ServiceDownIsAConnectionFailureThreeTimes) {
  const std::string status = "服务器连接失败！";
  service_->Stop();
  LogIn("plain", "pw0");
  EXPECT_EQ(Label("透明标签_登陆提示"), status);
  ASSERT_EQ(window_->Boxes().size(), 1u);
  EXPECT_EQ(U8(window_->Boxes()[0].text), status);
  // No time site either: the entry carries the fallback time.
  EXPECT_EQ(Log().substr(Log().size() - (status.size() + 4)), "\r\n" + status + "\r\n");
  EXPECT_NE(Log().find("100年1月1日8时\r\n" + status), std::string::npos);
}

TEST_F(LoginFlowTest, EmptyFieldSendsNothingButReloadsTheNews) {
  LogIn("plain", "");
  EXPECT_EQ(service_->Hits(Host::Api, "/login.php"), 0);
  EXPECT_EQ(U8(window_->HtmlViewAddress("超文本浏览框1")), service_->WebHome() + "gg/index.html");
  EXPECT_EQ(Label("透明标签_登陆提示"), "");
  ASSERT_EQ(window_->Boxes().size(), 1u);
  EXPECT_EQ(U8(window_->Boxes()[0].text), "请输入完整的信息");
}

TEST_F(LoginFlowTest, RefreshUpdatesTheAccountSilently) {
  LogIn("gold", "pw1");
  ASSERT_EQ(Label("透明标签_登陆提示"), "等待更新信息");
  window_->SetEnabled("按钮_解析", false);
  service_->SetAccount({.user = "gold",
                        .password = "pw1",
                        .token = "tok-gold",
                        .vip = "\"1\"",
                        .vipG = "\"1700000000\"",
                        .integral = "150",
                        .nickname = standin::JsonString("黄金用户"),
                        .points = "13"});
  window_->ClearCalls();
  const size_t boxes = window_->Boxes().size();
  const std::string log = Log();
  LoginFlow(Context());
  EXPECT_EQ(Label("透明标签_username2"), "金币：150");
  EXPECT_EQ(Label("透明标签_username3"), "签到积分：13 （网站个人中心签到获取）");
  EXPECT_EQ(window_->Boxes().size(), boxes);
  EXPECT_EQ(Log(), log);
  EXPECT_FALSE(window_->IsEnabled("按钮_解析"));
}

TEST_F(LoginFlowTest, QueryValuesArriveIntact) {
  LogIn("中", "a&b c");
  auto request = service_->LastRequest(Host::Api, "/login.php");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->rawQuery, "user=%E4%B8%AD&pass=a%26b+c");
  EXPECT_EQ(request->Param("pass"), "a&b c");
  EXPECT_EQ(request->Header("referer"), service_->WebHome());
  EXPECT_EQ(values_.AccountUser(), "%E4%B8%AD");
  EXPECT_EQ(SettingsBytes(), "[conf]\r\nuser=\xD6\xD0\r\npass=a&b c\r\n");  // 中 in GBK
  EXPECT_TRUE(window_->IsVisible("分组框2"));
}

}  // namespace
}  // namespace sucaigang::testing
