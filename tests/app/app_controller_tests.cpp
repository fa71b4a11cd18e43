#include "app/app_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_window.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

using ::testing::ElementsAre;

// Handlers with seams that only note that they ran; threads run at once on the caller.
class AppControllerTest : public ::testing::Test {
 protected:
  AppControllerTest()
      : controller_(window_, values_,
                    {.settingsPath = SettingsPath(), .webHome = "https://web.example/"}) {
    FlowSeams& seams = controller_.Seams();
    seams.attachSkin = [this] { Note("AttachSkin"); };
    seams.updateCheck = [this] { Note("UpdateCheck"); };
    seams.loginFlow = [this] { Note("LoginFlow"); };
    seams.parseFlow = [this] { Note("ParseFlow"); };
    seams.logLine = [this](const Text& message) { Note("LogLine " + GbkToUtf8(message)); };
    seams.startThread = [this](std::function<void()> body) {
      Note("StartThread");
      body();
    };
  }
  ~AppControllerTest() override { std::filesystem::remove(SettingsPath()); }

  static std::string SettingsPath() {
    return (std::filesystem::temp_directory_path() /
            ("controller_" + std::to_string(getpid()) + ".ini"))
        .string();
  }
  // Seam calls go into the window's record too, so one list shows the whole order.
  void Note(const std::string& what) { window_.SetTitle(Utf8ToGbk("seam " + what)); }
  std::vector<std::string> Changes() { return window_.Changes(); }

  testing::RecordingWindow window_;
  SessionValues values_;
  AppController controller_;
};

TEST_F(AppControllerTest, WindowCreatedRunsSkinCredentialsAndUpdateCheckInOrder) {
  std::ofstream(SettingsPath(), std::ios::binary) << "[conf]\r\nuser="
                                                  << "张三"_gbk
                                                  << "\r\npass=pw\r\n";
  controller_.OnWindowCreated();
  EXPECT_THAT(Changes(), ElementsAre("LoadHtmlView 超文本浏览框1 https://web.example/gg/index.html",
                                     "SetTitle seam AttachSkin", "SetText 编辑框_user 张三",
                                     "SetText 编辑框_pass pw", "SetTitle seam UpdateCheck"));
  // The update check has not enabled it: 登陆 stays disabled, the account panel hidden.
  EXPECT_FALSE(window_.IsEnabled("按钮_登陆"));
  EXPECT_FALSE(window_.IsVisible("分组框2"));
}

TEST_F(AppControllerTest, LoginClickShowsStatusAndStartsLoginThread) {
  controller_.OnLoginClicked();
  EXPECT_THAT(Changes(), ElementsAre("SetVisible 透明标签_登陆提示 1",
                                     "SetText 透明标签_登陆提示 正在登陆，请稍等",
                                     "SetTitle seam StartThread", "SetTitle seam LoginFlow"));
}

TEST_F(AppControllerTest, ParseClickChecksAddressAndCaption) {
  struct Case {
    const char* address;
    const char* caption;
    std::vector<std::string> changes;
    bool enabledAfter;
  } cases[] = {
      {"", "解析", {"MessageBox 信息： 请输入正确的素材港地址！"}, true},
      {"", "37S", {"MessageBox 信息： 请输入正确的素材港地址！"}, true},
      {"https://stock.example/a.html",
       "37S",
       {"MessageBox 信息： 为了云账号安全，请稍等一会再次解析。"},
       true},
      {"https://stock.example/a.html",
       "解析 ",  // compared byte for byte
       {"MessageBox 信息： 为了云账号安全，请稍等一会再次解析。"},
       true},
      // Spaces pass the check; the parse flow deals with them.
      {"   ",
       "解析",
       {"SetTitle seam LogLine 正在开始解析下载", "SetTitle seam StartThread",
        "SetTitle seam ParseFlow", "SetEnabled 按钮_解析 0"},
       false},
  };
  for (const Case& c : cases) {
    window_.SetText("编辑框1", Utf8ToGbk(c.address));
    window_.SetText("按钮_解析", Utf8ToGbk(c.caption));
    window_.SetEnabled("按钮_解析", true);
    window_.ClearCalls();
    controller_.OnParseClicked();
    EXPECT_EQ(Changes(), c.changes) << c.address << " / " << c.caption;
    EXPECT_EQ(window_.IsEnabled("按钮_解析"), c.enabledAfter) << c.address << " / " << c.caption;
  }
}

TEST_F(AppControllerTest, RegisterAndSignInPointsOpenWebPagesOnly) {
  controller_.OnRegisterClicked();
  controller_.OnUserPagePressed();
  EXPECT_THAT(Changes(), ElementsAre("OpenInBrowser https://web.example/",
                                     "OpenInBrowser https://web.example/?user&index"));
}

TEST_F(AppControllerTest, CountdownRunsSixtyOneTicks) {
  // As the parse flow starts it.
  values_.CountdownTicks = 0;
  window_.SetEnabled("按钮_解析", false);
  window_.SetTimerPeriod("时钟1", 1000);
  window_.ClearCalls();

  std::vector<std::string> expected;
  for (int tick = 1; tick <= 60; ++tick) {
    controller_.OnCountdownTick();
    expected.push_back("SetText 按钮_解析 " + std::to_string(61 - tick) + "S");
    EXPECT_EQ(values_.CountdownTicks, tick);
    EXPECT_FALSE(window_.IsEnabled("按钮_解析"));
  }
  EXPECT_EQ(window_.GetText("按钮_解析"), "1S");
  controller_.OnCountdownTick();
  expected.insert(expected.end(),
                  {"SetTimerPeriod 时钟1 0", "SetText 按钮_解析 解析", "SetEnabled 按钮_解析 1"});
  EXPECT_EQ(Changes(), expected);
  EXPECT_EQ(values_.CountdownTicks, 0);
  EXPECT_EQ(window_.TimerPeriod("时钟1"), 0);
  EXPECT_TRUE(window_.IsEnabled("按钮_解析"));
}

TEST(AppControllerThreads, FlowsRunOnNewThreadsByDefault) {
  testing::RecordingWindow window;
  SessionValues values;
  AppController controller(window, values, {});
  std::thread::id uiThread = std::this_thread::get_id();
  std::promise<std::thread::id> ranOn;
  controller.Seams().loginFlow = [&] { ranOn.set_value(std::this_thread::get_id()); };
  controller.OnLoginClicked();
  auto future = ranOn.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_NE(future.get(), uiThread);
}

TEST(SessionValuesTest, AccountIsReplacedWhole) {
  SessionValues values;
  EXPECT_EQ(values.AccountUser(), "");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      values.ReplaceAccount("u" + std::to_string(i % 2), "p" + std::to_string(i % 2));
    }
  });
  for (int i = 0; i < 20000; ++i) {
    SessionValues::Account account = values.ReadAccount();
    if (account.user.empty()) continue;
    ASSERT_EQ(account.user.substr(1), account.pass.substr(1));
  }
  stop = true;
  writer.join();
}

}  // namespace
}  // namespace sucaigang
