#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/activity_log.h"
#include "script/network_time.h"
#include "support/raw_http_server.h"
#include "support/recording_window.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

using test::RawHttpServer;
using testing::RecordingWindow;

TEST(LogTimeTextTest, TrailingZeroTimePartsAreLeftOut) {
  struct Case {
    DateTime time;
    const char* expected;
  } cases[] = {
      {MakeDateTime(2023, 1, 31, 12, 58, 38), "2023年1月31日12时58分38秒"},
      {MakeDateTime(2023, 1, 31, 12, 58, 0), "2023年1月31日12时58分"},
      {MakeDateTime(2023, 1, 31, 12, 0, 0), "2023年1月31日12时"},
      {MakeDateTime(2023, 1, 1, 0, 0, 0), "2023年1月1日"},
      {MakeDateTime(2023, 1, 1, 0, 0, 5), "2023年1月1日0时0分5秒"},
      {MakeDateTime(2023, 1, 1, 0, 5, 0), "2023年1月1日0时5分"},
      {MakeDateTime(2023, 1, 1, 9, 0, 7), "2023年1月1日9时0分7秒"},
      {MakeDateTime(100, 1, 1, 8, 0, 0), "100年1月1日8时"},
      {MakeDateTime(9999, 12, 31, 23, 59, 59), "9999年12月31日23时59分59秒"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkToUtf8(LogTimeText(c.time)), c.expected);
  }
}

TEST(LogEntryTextTest, TimeLineThenMessageLine) {
  EXPECT_EQ(LogEntryText(MakeDateTime(2023, 1, 1), "登陆成功！"_gbk),
            "2023年1月1日\r\n"_gbk + "登陆成功！"_gbk + "\r\n");
}

// The time site for one test; the previous address comes back afterwards.
class ActivityLogTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = TimeSiteAddress(); }
  void TearDown() override { SetTimeSiteAddress(saved_); }

  static std::vector<Text> Appended(const RecordingWindow& window) {
    std::vector<Text> texts;
    for (const RecordingWindow::Call& call : window.Calls()) {
      if (call.operation == "AppendText") {
        EXPECT_EQ(call.control, "编辑框2");
        texts.push_back(call.text);
      }
    }
    return texts;
  }

  Text saved_;
};

TEST_F(ActivityLogTest, EntryCarriesTheNetworkTime) {
  RawHttpServer server(
      RawHttpServer::Answer("HTTP/1.1 200 OK", "Date: Tue, 31 Jan 2023 04:58:38 GMT\r\n", ""));
  SetTimeSiteAddress(server.Url());
  RecordingWindow window;
  LogLine(window, "正在开始解析下载"_gbk);
  EXPECT_EQ(Appended(window),
            std::vector<Text>{"2023年1月31日12时58分38秒\r\n正在开始解析下载\r\n"_gbk});
  EXPECT_TRUE(RawHttpServer::HeadOf(server.WaitForRequest()).starts_with("HEAD / HTTP/1.1\r\n"));
}

TEST_F(ActivityLogTest, WithoutNetworkTheEntryIsStillWritten) {
  int closedPort = 0;
  { closedPort = RawHttpServer().Port(); }
  SetTimeSiteAddress("http://127.0.0.1:" + std::to_string(closedPort) + "/");
  RecordingWindow window;
  const Text before = window.GetText("编辑框2");
  LogLine(window, "服务器连接失败！"_gbk);
  EXPECT_EQ(Appended(window), std::vector<Text>{"100年1月1日8时\r\n服务器连接失败！\r\n"_gbk});
  EXPECT_EQ(window.GetText("编辑框2"), before + "100年1月1日8时\r\n服务器连接失败！\r\n"_gbk);
}

TEST_F(ActivityLogTest, EntriesFromTwoThreadsNeverMix) {
  RawHttpServer server(
      RawHttpServer::Answer("HTTP/1.1 200 OK", "Date: Sun, 01 Jan 2023 04:00:00 GMT\r\n", ""));
  SetTimeSiteAddress(server.Url());
  RecordingWindow window;
  constexpr int kPerThread = 5;
  auto writer = [&window](const char* message) {
    for (int i = 0; i < kPerThread; ++i) LogLine(window, message);
  };
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  first.join();
  second.join();
  const std::vector<Text> entries = Appended(window);
  ASSERT_EQ(entries.size(), 2u * kPerThread);
  int a = 0, b = 0;
  for (const Text& entry : entries) {
    a += entry == "2023年1月1日12时\r\na\r\n"_gbk;
    b += entry == "2023年1月1日12时\r\nb\r\n"_gbk;
  }
  EXPECT_EQ(a, kPerThread);
  EXPECT_EQ(b, kPerThread);
}

}  // namespace
}  // namespace sucaigang
