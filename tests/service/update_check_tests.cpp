#include "service/update_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "app/program_paths.h"
#include "flow_fixture.h"
#include "support/scoped_time_zone.h"

namespace sucaigang::testing {
namespace {

using standin::Host;

const std::string kTitle = "素材港解析软件永久免费版 ";

class UpdateCheckTest : public FlowTest {
 protected:
  void Check(const standin::VersionAnswer& answer) {
    service_->SetVersion(answer);
    UpdateCheck(Context(), [this](const Text& address, const Text& target) {
      downloads_.push_back({address, target});
    });
  }
  std::vector<std::pair<Text, Text>> downloads_;
};

TEST_F(UpdateCheckTest, CurrentOrUnreadableVersionEnablesLogin) {
  struct Case {
    const char *version, *msg;
    bool logged;
  } cases[] = {
      {"\"20230201\"", "\"今日公告\"", true},
      {"20230101", "\"\"", false},       // a number reads the same
      {"\"v20990101\"", "\"\"", false},  // no leading digits: 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    window_ = std::make_unique<RecordingWindow>();
    Check({.version = c.version, .msg = c.msg});
    EXPECT_TRUE(window_->IsEnabled("按钮_登陆"));
    std::string shown = std::string(c.version);
    if (shown.front() == '"') shown = shown.substr(1, shown.size() - 2);
    EXPECT_EQ(U8(window_->Title()), kTitle + shown);
    EXPECT_EQ(Log().find("今日公告") != std::string::npos, c.logged);
    EXPECT_TRUE(window_->Boxes().empty());
    EXPECT_TRUE(downloads_.empty());
  }
  // The request carries the 10-character timestamp.
  auto request = service_->LastRequest(Host::Api, "/version.php");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Param("t").size(), 10u);
}

TEST_F(UpdateCheckTest, NewerVersionDeclinedOrAccepted) {
  window_->QueueAnswer(false);
  Check({.version = "\"20230202\"", .versionUrl = "\"{files}/update/new.exe\""});
  ASSERT_EQ(window_->Boxes().size(), 1u);
  EXPECT_TRUE(window_->Boxes()[0].question);
  EXPECT_EQ(U8(window_->Boxes()[0].caption), "更新提示");
  EXPECT_EQ(U8(window_->Boxes()[0].text), "发现新版本20230202 请更新下载。");
  const std::string declined = "素材港解析软件永久免费版  有新版【20230202】请更新←";
  EXPECT_EQ(U8(window_->Title()), declined);
  EXPECT_NE(Log().find("\r\n" + declined + "\r\n"), std::string::npos);
  EXPECT_TRUE(window_->IsEnabled("按钮_登陆"));
  EXPECT_TRUE(downloads_.empty());

  window_ = std::make_unique<RecordingWindow>();
  window_->QueueAnswer(true);
  Check({.version = "\"20230202\"", .versionUrl = "\"{files}/update/new.exe\""});
  EXPECT_TRUE(window_->IsVisible("进度条_更新"));
  EXPECT_FALSE(window_->IsEnabled("按钮_登陆"));
  EXPECT_EQ(U8(window_->Title()), kTitle);  // unchanged
  ASSERT_EQ(downloads_.size(), 1u);
  EXPECT_EQ(downloads_[0].first, service_->FilesBase() + "/update/new.exe");
  EXPECT_EQ(downloads_[0].second, Utf8ToGbk(ProgramFolder() + "/素材港解析软件20230202.exe"));
}

TEST_F(UpdateCheckTest, FailedCheckReportsAndOpensTheWebHome) {
  auto expectFailure = [&] {
    EXPECT_FALSE(window_->IsEnabled("按钮_登陆"));
    ASSERT_EQ(window_->Boxes().size(), 1u);
    EXPECT_EQ(U8(window_->Boxes()[0].text), "服务器连接失败！");
    EXPECT_EQ(U8(window_->Boxes()[0].caption), "信息：");
    EXPECT_NE(Log().find("\r\n服务器连接失败，请检查网络是否连接或者联系管理员。\r\n"),
              std::string::npos);
    ASSERT_EQ(window_->OpenedAddresses().size(), 1u);
    EXPECT_EQ(window_->OpenedAddresses()[0], service_->WebHome());
    EXPECT_EQ(U8(window_->Title()), kTitle);  // unchanged
  };
  Check({.state = "\"1\"", .version = "\"20230301\""});
  expectFailure();

  window_ = std::make_unique<RecordingWindow>();
  Check({.raw = "<html>502 Bad Gateway</html>"});
  expectFailure();

  window_ = std::make_unique<RecordingWindow>();
  service_->Stop();
  UpdateCheck(Context(), nullptr);
  expectFailure();
}

TEST(UnixSecondsText, IsUnixTimeOnAUtc8Clock) {
  struct Case {
    const char* zone;
    long long offset;
  } cases[] = {{"Asia/Shanghai", 0}, {"UTC", -28800}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    ScopedTimeZone zone(c.zone);
    const long long before = std::time(nullptr);
    const Text text = UnixSecondsText();
    const long long after = std::time(nullptr);
    ASSERT_EQ(text.size(), 10u);
    const long long seconds = std::stoll(text);
    EXPECT_GE(seconds, before + c.offset);
    EXPECT_LE(seconds, after + c.offset);
  }
}

}  // namespace
}  // namespace sucaigang::testing
