#include "download/launcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "download_server.h"
#include "support/test_files.h"

namespace sucaigang {
namespace {

using namespace std::chrono_literals;
using test::DownloadServer;

std::size_t Entries(DownloadTasks& tasks) {
  LockHolder hold(tasks.taskListLock);
  return tasks.taskList.size();
}

bool WaitForEntries(DownloadTasks& tasks, std::size_t count) {
  for (int i = 0; i < 2000 && Entries(tasks) != count; ++i) std::this_thread::sleep_for(5ms);
  return Entries(tasks) == count;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("launcher_tests_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    // Answers are held back until the test opens the gate.
    server_.Routes().Get("/held", [this](const httplib::Request&, httplib::Response& response) {
      server_.gate.WaitOpen();
      response.set_content("held body", "application/zip");
    });
    server_.Run();
  }
  void TearDown() override {
    server_.gate.Release();
    EXPECT_TRUE(WaitForEntries(*tasks_, 0));
    std::filesystem::remove_all(folder_);
  }
  std::string Target(int n) const { return folder_ / ("f" + std::to_string(n) + ".zip"); }

  DownloadServer server_;
  std::shared_ptr<DownloadTasks> tasks_ = std::make_shared<DownloadTasks>();
  std::filesystem::path folder_;
};

TEST_F(LauncherTest, SecondTaskWithTheSameIdIsRefusedUntilTheFirstEnds) {
  std::atomic<int> ended{0};
  ProgressRoutine progress = [&ended](std::int32_t taskId, std::int32_t state, std::int64_t,
                                      std::int64_t, std::int64_t, float, float, std::int32_t,
                                      const Text&) {
    EXPECT_EQ(taskId, 1);
    if (state == ProgressEnded) ++ended;
  };
  {
    // The caller's texts may go as soon as the call returns.
    std::string address = server_.Url("/held"), path = Target(1);
    EXPECT_EQ(StartDownloadTask(tasks_, address, path, progress, 1), 1);
    address.assign(address.size(), 'x');
    path.assign(path.size(), 'x');
  }
  EXPECT_EQ(StartDownloadTask(tasks_, server_.Url("/held"), Target(2), progress, 1), -1);
  {
    LockHolder hold(tasks_->taskListLock);
    ASSERT_EQ(tasks_->taskList.size(), 1u);
    EXPECT_EQ(tasks_->taskList.front().id, 1);
    EXPECT_EQ(tasks_->taskList.front().path, Target(1));
  }
  server_.gate.Release();
  ASSERT_TRUE(WaitForEntries(*tasks_, 0));
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(std::filesystem::exists(Target(1)));
  EXPECT_FALSE(std::filesystem::exists(Target(2)));

  EXPECT_EQ(StartDownloadTask(tasks_, server_.Url("/held"), Target(3), progress, 1), 1);
  ASSERT_TRUE(WaitForEntries(*tasks_, 0));
  EXPECT_EQ(ended, 2);
}

TEST_F(LauncherTest, TasksWithoutIdRunTogetherAndEachRemovesOneEntry) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(StartDownloadTask(tasks_, server_.Url("/held"), Target(i)), 1);
  }
  EXPECT_EQ(Entries(*tasks_), 3u);
  server_.gate.Release();
  ASSERT_TRUE(WaitForEntries(*tasks_, 0));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(testing::ReadFileBytes(Target(i)), "held body");
  }
}

TEST_F(LauncherTest, EmptyAddressRegistersAndEndsAtOnceWithoutReport) {
  std::atomic<int> reports{0};
  ProgressRoutine progress = [&reports](std::int32_t, std::int32_t, std::int64_t, std::int64_t,
                                        std::int64_t, float, float, std::int32_t,
                                        const Text&) { ++reports; };
  EXPECT_EQ(StartDownloadTask(tasks_, "", Target(1), progress, 5), 1);
  ASSERT_TRUE(WaitForEntries(*tasks_, 0));
  EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace sucaigang
