// The real program, offscreen, worked through its window by its automation script against the
// in-process stand-in service. Each test runs a copy of the program in a folder of its own, so
// that pz.ini lands there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "script/time_text.h"
#include "standin/standin.h"
#include "support/test_files.h"
#include "support/test_standin.h"
#include "text/encoding.h"

extern char** environ;

namespace sucaigang::testing {
namespace {

namespace fs = std::filesystem;
using standin::Host;

struct Control {
  std::string text;
  bool visible = false;
  bool enabled = false;
};

struct ProgramRun {
  bool ended = false;  // false: killed after the time limit
  int exitCode = -1;
  std::string output;  // standard output and error
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(testing::StartTestStandin(service_));
    folder_ = fs::temp_directory_path() /
              ("e2e_tests_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "runtime");
    fs::permissions(folder_ / "runtime", fs::perms::owner_all);  // Qt wants 0700
    fs::copy_file(SUCAIGANG_PROGRAM, folder_ / "sucaigang");
  }

  void TearDown() override {
    if (service_) service_->Stop();
    fs::remove_all(folder_);
  }

  // Runs the program with the automation script (UTF-8 lines) until it ends, at most 60 s.
  ProgramRun RunProgram(const std::string& script) {
    const fs::path scriptPath = folder_ / "script.txt";
    std::ofstream(scriptPath, std::ios::binary) << script;
    const fs::path outputPath = folder_ / "output.txt";

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      const bool ours = entry.starts_with("SUCAIGANG_") || entry.starts_with("QT_QPA_") ||
                        entry.starts_with("DISPLAY=") || entry.starts_with("WAYLAND_DISPLAY=") ||
                        entry.starts_with("XDG_RUNTIME_DIR=");
      if (!ours) env.push_back(entry);
    }
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("XDG_RUNTIME_DIR=" + (folder_ / "runtime").string());
    env.push_back("SUCAIGANG_API_BASE=" + service_->ApiBase());
    env.push_back("SUCAIGANG_WEB_HOME=" + service_->WebHome());
    env.push_back("SUCAIGANG_STOCK_HOME=" + service_->StockHome());
    env.push_back("SUCAIGANG_TIME_URL=" + service_->TimeUrl());
    env.push_back("SUCAIGANG_AUTOMATION=" + scriptPath.string());
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const std::string program = (folder_ / "sucaigang").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ProgramRun run;
    if (spawned != 0) {
      run.output = "posix_spawn failed: " + std::to_string(spawned);
      return run;
    }

    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        run.output = testing::ReadFileBytes(outputPath);
        return run;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.ended = WIFEXITED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    run.output = testing::ReadFileBytes(outputPath);
    return run;
  }

  // The controls as the automation's dump wrote them, plus "title".
  std::map<std::string, Control> ReadDump() {
    std::map<std::string, Control> controls;
    std::istringstream lines(testing::ReadFileBytes(DumpPath()));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream parts(line);
      for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
      fields.resize(4);
      controls[fields[0]] = {fields[1], fields[2] == "1", fields[3] == "1"};
    }
    return controls;
  }

  std::string DumpPath() const { return (folder_ / "dump.txt").string(); }
  fs::path SettingsPath() const { return folder_ / "pz.ini"; }

  std::unique_ptr<standin::Service> service_;
  fs::path folder_;
};

// A user name and password that need encoding, typed into the window; the update offer declined.
TEST_F(EndToEndTest, LoginThroughTheWindowShowsTheAccountAndSavesTheCredentials) {
  service_->SetAccount({.user = "中",
                        .password = "a&b c",
                        .token = "tok-zhong",
                        .vip = "\"1\"",
                        .vipG = "\"1700000000\"",
                        .integral = "300",
                        .nickname = standin::JsonString("中文用户"),
                        .points = "\"7\""});
  const ProgramRun run = RunProgram(
      "no 发现新版本20230202 请更新下载。\n"
      "waitenabled 按钮_登陆\n"
      "waitcontains 编辑框2 有新版【20230202】\n"
      "set 编辑框_user 中\n"
      "set 编辑框_pass a&b c\n"
      "click 按钮_登陆\n"
      "ok 登陆成功\n"
      "wait 透明标签_登陆提示 等待更新信息\n"
      "dump " +
      DumpPath() + "\nquit\n");
  ASSERT_TRUE(run.ended) << run.output;
  ASSERT_EQ(run.exitCode, 0) << run.output;

  std::map<std::string, Control> c = ReadDump();
  EXPECT_EQ(c["透明标签_username"].text, "用户名：中文用户");
  EXPECT_EQ(c["透明标签_username1"].text,
            "用户等级：黄金会员  " + GbkToUtf8(TimestampText("1700000000")));
  EXPECT_EQ(c["透明标签_username2"].text, "金币：300");
  EXPECT_EQ(c["透明标签_username3"].text, "签到积分：7 （网站个人中心签到获取）");
  EXPECT_TRUE(c["分组框2"].visible);
  EXPECT_FALSE(c["按钮_登陆"].enabled);
  EXPECT_FALSE(c["按钮_注册"].enabled);
  EXPECT_TRUE(c["按钮_解析"].enabled);
  EXPECT_EQ(c["title"].text, "素材港解析软件永久免费版  有新版【20230202】请更新←");
  EXPECT_NE(c["编辑框2"].text.find("\\n素材港解析软件永久免费版  有新版【20230202】请更新←\\n"),
            std::string::npos)
      << c["编辑框2"].text;
  EXPECT_NE(c["编辑框2"].text.find("\\n登陆成功！\\n"), std::string::npos);

  EXPECT_EQ(testing::ReadFileBytes(SettingsPath()), "[conf]\r\nuser=\xD6\xD0\r\npass=a&b c\r\n");
  auto login = service_->LastRequest(Host::Api, "/login.php");
  ASSERT_TRUE(login);
  EXPECT_EQ(login->rawQuery, "user=%E4%B8%AD&pass=a%26b+c");
  EXPECT_EQ(login->Param("pass"), "a&b c");
  EXPECT_EQ(login->Header("referer"), service_->WebHome());
  EXPECT_EQ(service_->Hits(Host::Api, "/version.php"), 1);
  // The news page: once at start, once more at the login.
  EXPECT_EQ(service_->Hits(Host::Web, "/gg/index.html"), 2);
}

// Stored credentials come back into the fields; a refused login shows the reason and changes
// nothing else, pz.ini included.
TEST_F(EndToEndTest, RefusedLoginShowsTheReasonAndKeepsTheLoginPanel) {
  service_->SetVersion({.version = "\"20230201\"", .msg = standin::JsonString("服务公告")});
  const std::string stored = "[conf]\r\nuser=banned\r\npass=pw\r\n";
  std::ofstream(SettingsPath(), std::ios::binary) << stored;
  const std::string info = "该账号已被禁用，请联系管理员";
  const ProgramRun run = RunProgram(
      "waitenabled 按钮_登陆\n"
      "waitcontains 编辑框2 服务公告\n"
      "wait 编辑框_user banned\n"
      "wait 编辑框_pass pw\n"
      "click 按钮_登陆\n"
      "ok " +
      info + "\nwait 透明标签_登陆提示 " + info + "\nwaitcontains 编辑框2 " + info + "\ndump " +
      DumpPath() + "\nquit\n");
  ASSERT_TRUE(run.ended) << run.output;
  ASSERT_EQ(run.exitCode, 0) << run.output;

  std::map<std::string, Control> c = ReadDump();
  EXPECT_EQ(c["title"].text, "素材港解析软件永久免费版 20230201");
  EXPECT_FALSE(c["分组框2"].visible);
  EXPECT_TRUE(c["按钮_登陆"].enabled);
  EXPECT_TRUE(c["按钮_注册"].enabled);
  EXPECT_EQ(c["透明标签_username"].text, "username：");
  EXPECT_EQ(c["透明标签_username2"].text, "金币：");
  const std::string& log = c["编辑框2"].text;
  EXPECT_NE(log.find("\\n服务公告\\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\\n" + info + "\\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("登陆成功"), std::string::npos);
  EXPECT_EQ(testing::ReadFileBytes(SettingsPath()), stored);
  EXPECT_EQ(service_->Hits(Host::Api, "/login.php"), 1);
}

}  // namespace
}  // namespace sucaigang::testing
