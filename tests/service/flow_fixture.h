#pragma once
// A stand-in service started in-process from the test fixture, a recording window and a private
// settings file: what a flow run needs, torn down after each test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/session_values.h"
#include "script/network_time.h"
#include "service/flow_context.h"
#include "standin/standin.h"
#include "support/recording_window.h"
#include "support/test_files.h"
#include "support/test_standin.h"
#include "text/encoding.h"

namespace sucaigang::testing {

class FlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartTestStandin(service_));
    SetTimeSiteAddress(service_->TimeUrl());
    folder_ = std::filesystem::temp_directory_path() /
              ("service_tests_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }

  void TearDown() override {
    SetTimeSiteAddress({});
    if (service_) service_->Stop();
    std::filesystem::remove_all(folder_);
  }

  FlowContext Context() {
    return FlowContext{
        .window = *window_,
        .values = values_,
        .endpoints = {.apiBase = service_->ApiBase(),
                      .webHome = service_->WebHome(),
                      .stockHome = service_->StockHome(),
                      .timeUrl = service_->TimeUrl()},
        .settingsPath = SettingsPath(),
    };
  }

  std::string SettingsPath() const { return (folder_ / "pz.ini").string(); }
  std::string SettingsBytes() const { return ReadFileBytes(SettingsPath()); }
  // The texts of the log box's entries' message lines.
  std::string Log() { return GbkToUtf8(window_->GetText("编辑框2")); }
  static std::string U8(const Text& gbk) { return GbkToUtf8(gbk); }

  std::unique_ptr<standin::Service> service_;
  std::unique_ptr<RecordingWindow> window_ = std::make_unique<RecordingWindow>();
  SessionValues values_;
  std::filesystem::path folder_;
};

}  // namespace sucaigang::testing
