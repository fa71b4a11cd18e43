// The recording window is what every flow test stands on: its boxes must block like the real one.
#include "support/recording_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "text/encoding.h"

namespace sucaigang {
namespace {

using namespace std::chrono_literals;

TEST(RecordingWindowTest, HeldBoxesBlockTheCallerUntilClosed) {
  testing::RecordingWindow window;
  window.HoldBoxes(true);
  window.QueueAnswer(true);
  auto worker = std::async(std::launch::async, [&] {
    window.MessageBox("a"_gbk);
    return window.AskYesNo("q"_gbk, "更新"_gbk);
  });
  ASSERT_TRUE(window.WaitForBoxes(1));
  EXPECT_EQ(worker.wait_for(50ms), std::future_status::timeout);
  ASSERT_TRUE(window.CloseBox());
  ASSERT_TRUE(window.WaitForBoxes(2));
  ASSERT_TRUE(window.CloseBox());
  ASSERT_EQ(worker.wait_for(5s), std::future_status::ready);
  EXPECT_TRUE(worker.get());
  EXPECT_THAT(window.Changes(), ::testing::ElementsAre("MessageBox 信息： a", "AskYesNo 更新 q"));
}

TEST(RecordingWindowTest, StartsFromTheWindowsInitialState) {
  testing::RecordingWindow window;
  EXPECT_FALSE(window.IsEnabled("按钮_登陆"));
  EXPECT_FALSE(window.IsVisible("分组框2"));
  EXPECT_EQ(window.GetText("按钮_解析"), "解析"_gbk);
  EXPECT_EQ(window.Title(), "素材港解析软件永久免费版 "_gbk);
  EXPECT_EQ(window.ProgressMaximum("进度条_更新"), 100);
  EXPECT_EQ(window.TimerPeriod("时钟1"), 0);
}

}  // namespace
}  // namespace sucaigang
