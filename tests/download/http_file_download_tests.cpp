#include "download/http_file_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "download_server.h"
#include "standin/certificate.h"
#include "support/test_files.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

using namespace std::chrono_literals;
using test::DownloadServer;
using test::Pattern;

struct Report {
  std::int32_t taskId, state;
  std::int64_t total, received, remaining;
  float fraction, speed;
  std::int32_t elapsed;
  Text path;
};

struct Reports {
  std::mutex mutex;
  std::vector<Report> list;

  ProgressRoutine Routine() {
    return [this](std::int32_t taskId, std::int32_t state, std::int64_t total,
                  std::int64_t received, std::int64_t remaining, float fraction, float speed,
                  std::int32_t elapsed, const Text& path) {
      std::lock_guard lock(mutex);
      list.push_back({taskId, state, total, received, remaining, fraction, speed, elapsed, path});
    };
  }
  std::vector<Report> Of(std::int32_t state) {
    std::lock_guard lock(mutex);
    std::vector<Report> out;
    for (const Report& r : list) {
      if (r.state == state) out.push_back(r);
    }
    return out;
  }
  std::size_t Size() {
    std::lock_guard lock(mutex);
    return list.size();
  }
};

using testing::ReadFileBytes;

class HttpFileDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("download_tests_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Target(const std::string& name = "target.zip") const { return folder_ / name; }

  // Runs one download to its end as the launcher's worker does; false when the completion
  // event did not come in time. All reports have arrived when it returns.
  static bool Run(const std::string& url, const std::string& path, Reports* reports,
                  DownloadSettings settings = {}, std::int32_t taskId = 7) {
    auto completion = std::make_shared<Event>();
    bool completed;
    {
      HttpFileDownload download(std::move(settings));
      download.Start(url, path, reports ? reports->Routine() : ProgressRoutine{}, taskId,
                     completion);
      completed = completion->Wait(20000);
      download.Stop();
    }
    return completed;
  }

  // A run that must end with a failed read: no tick needed, one failure and one end.
  static void ExpectFailedRead(Reports& reports, std::int64_t received) {
    EXPECT_EQ(reports.Of(ProgressReadFailed).size(), 1u);
    auto ended = reports.Of(ProgressEnded);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].received, received);
  }

  std::filesystem::path folder_;
};

// A body of `pieces` pieces, one every `gap`, with Content-Length.
void ServeSlowly(DownloadServer& server, const std::string& route, const std::string& body,
                 int pieces, std::chrono::milliseconds gap) {
  server.Routes().Get(route, [&server, body, pieces, gap](const httplib::Request& request,
                                                          httplib::Response& response) {
    server.Record(request);
    response.set_content_provider(
        body.size(), "application/zip",
        [body, pieces, gap](std::size_t offset, std::size_t, httplib::DataSink& sink) {
          std::size_t piece = (body.size() + pieces - 1) / pieces;
          std::size_t n = std::min(piece, body.size() - offset);
          std::this_thread::sleep_for(gap);
          return sink.write(body.data() + offset, n);
        });
  });
}

TEST_F(HttpFileDownloadTest, FileWithContentLengthIsIdenticalAndReportedInOrder) {
  for (bool https : {false, true}) {
    SCOPED_TRACE(https ? "https" : "http");
    const std::string body = Pattern(3 * 1024 * 1024 + 17);
    DownloadServer server(https);
    ServeSlowly(server, "/res/a.zip", body, 16, 110ms);
    server.Run();
    Reports reports;
    DownloadSettings settings{.extraCaFile = standin::SelfSignedCertificate().certificateFile};
    ASSERT_TRUE(Run(server.Url("/res/a.zip?x=1"), Target(), &reports, settings));

    EXPECT_EQ(ReadFileBytes(Target()), body);
    auto headers = server.LastHeaders();
    EXPECT_EQ(headers.find("Range")->second, "bytes=0-");
    EXPECT_NE(headers.find("User-Agent")->second.find("Chrome/76.0.3809.132"), std::string::npos);
    EXPECT_EQ(headers.count("Cookie"), 0u);

    ASSERT_EQ(reports.Of(ProgressStarted).size(), 1u);
    EXPECT_TRUE(reports.Of(ProgressReadFailed).empty());
    auto ended = reports.Of(ProgressEnded);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].total, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(ended[0].received, ended[0].total);
    EXPECT_EQ(ended[0].remaining, 0);
    EXPECT_FLOAT_EQ(ended[0].fraction, 1.0f);
    EXPECT_GT(ended[0].speed, 0.0f);
    EXPECT_GE(ended[0].elapsed, 1500);

    // Ticks from 500 ms on, about 495 ms apart (reports may arrive out of order).
    auto ticks = reports.Of(ProgressTick);
    std::sort(ticks.begin(), ticks.end(),
              [](const Report& a, const Report& b) { return a.elapsed < b.elapsed; });
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_GE(ticks[0].elapsed, 480);
    EXPECT_LT(ticks[0].elapsed, 1200);
    for (std::size_t i = 1; i < ticks.size(); ++i) {
      EXPECT_GE(ticks[i].elapsed - ticks[i - 1].elapsed, 350);
      EXPECT_LE(ticks[i].elapsed - ticks[i - 1].elapsed, 900);
    }
    std::lock_guard lock(reports.mutex);
    for (const Report& r : reports.list) {
      EXPECT_EQ(r.taskId, 7);
      EXPECT_EQ(r.path, Target());
      EXPECT_EQ(r.total, static_cast<std::int64_t>(body.size()));
      EXPECT_EQ(r.remaining, r.total - r.received);
    }
  }
}

TEST_F(HttpFileDownloadTest, BodyWithoutContentLengthIsCompleteWithZeroTotals) {
  const std::string body = Pattern(700000, 2);
  DownloadServer server;
  server.Routes().Get("/chunked", [&](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider(
        "application/zip", [&body](std::size_t offset, httplib::DataSink& sink) {
          std::size_t n = std::min<std::size_t>(100000, body.size() - offset);
          sink.write(body.data() + offset, n);
          if (offset + n == body.size()) sink.done();
          return true;
        });
  });
  server.Run();
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/chunked"), Target(), &reports));
  EXPECT_EQ(ReadFileBytes(Target()), body);
  auto ended = reports.Of(ProgressEnded);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].received, static_cast<std::int64_t>(body.size()));
  EXPECT_TRUE(reports.Of(ProgressReadFailed).empty());
  std::lock_guard lock(reports.mutex);
  for (const Report& r : reports.list) {
    EXPECT_EQ(r.total, 0);
    EXPECT_EQ(r.remaining, 0);
    EXPECT_EQ(r.fraction, 0.0f);
  }
}

TEST_F(HttpFileDownloadTest, EmptyBodyMakesNoFileAndNoReport) {
  DownloadServer server;
  server.Routes().Get("/empty", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("", "application/zip");
  });
  server.Run();
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/empty"), Target(), &reports));
  EXPECT_FALSE(std::filesystem::exists(Target()));
  EXPECT_EQ(reports.Size(), 0u);
}

TEST_F(HttpFileDownloadTest, AddressWithoutPathAsksForRootAndKeepsTheQuery) {
  DownloadServer server;
  server.Routes().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
    server.Record(request);
    response.set_content(request.get_param_value("q") + "!", "text/plain");
  });
  server.Run();
  std::string base = server.Url("");
  ASSERT_TRUE(Run(base, Target("a"), nullptr));  // no progress routine: no reports needed
  ASSERT_TRUE(Run(base + "?q=1", Target("b"), nullptr));
  EXPECT_EQ(server.Paths(), (std::vector<std::string>{"/", "/"}));
  EXPECT_EQ(ReadFileBytes(Target("a")), "!");
  EXPECT_EQ(ReadFileBytes(Target("b")), "1!");
}

// Paths are GBK Text, as the flows build them; the file system's names are UTF-8.
TEST_F(HttpFileDownloadTest, GbkPathNamesTheFileInUtf8) {
  DownloadServer server;
  server.Routes().Get("/file", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("zip", "application/zip");
  });
  server.Run();
  Text gbkPath = Text(folder_) + "/" + Utf8ToGbk("素材港解析.zip");
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/file"), gbkPath, &reports));
  EXPECT_EQ(ReadFileBytes(folder_ / "素材港解析.zip"), "zip");
  auto ended = reports.Of(ProgressEnded);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].path, gbkPath);
}

TEST_F(HttpFileDownloadTest, RedirectIsFollowedAndUntrustedCertificateRefused) {
  DownloadServer server(true);
  server.Routes().Get("/moved", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/file");
  });
  server.Routes().Get("/file", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("content", "application/zip");
  });
  server.Run();
  DownloadSettings trusting{.extraCaFile = standin::SelfSignedCertificate().certificateFile};
  ASSERT_TRUE(Run(server.Url("/moved"), Target(), nullptr, trusting));
  EXPECT_EQ(ReadFileBytes(Target()), "content");

  // Without the extra authority the self-signed server is not trusted: nothing is written.
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/file"), Target("untrusted"), &reports));
  EXPECT_FALSE(std::filesystem::exists(Target("untrusted")));
  EXPECT_EQ(reports.Size(), 0u);
}

TEST_F(HttpFileDownloadTest, ChunkLargerThanStagingWhileBytesHeldKeepsTheOrder) {
  // First piece is written at once; the next two are held; the large one flushes them first and
  // grows the buffer; the last is held behind nothing.
  const std::vector<std::string> pieces = {Pattern(600, 3), Pattern(300, 4), Pattern(400, 5),
                                           Pattern(5000, 6), Pattern(200, 7)};
  std::string body;
  for (const auto& p : pieces) body += p;
  DownloadServer server;
  server.Routes().Get("/pieces", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        body.size(), "application/zip",
        [&pieces](std::size_t offset, std::size_t, httplib::DataSink& sink) {
          std::size_t at = 0;
          for (const auto& p : pieces) {
            if (at == offset) {
              std::this_thread::sleep_for(40ms);  // arrives as a chunk of its own
              return sink.write(p.data(), p.size());
            }
            at += p.size();
          }
          return false;
        });
  });
  server.Run();
  Reports reports;
  DownloadSettings small;
  small.stagingCapacity = 1000;
  ASSERT_TRUE(Run(server.Url("/pieces"), Target(), &reports, small));
  EXPECT_EQ(ReadFileBytes(Target()), body);
  EXPECT_TRUE(reports.Of(ProgressReadFailed).empty());
}

// Mended: a shorter download over a longer old file used to keep the old tail.
TEST_F(HttpFileDownloadTest, LongerOldFileIsReplacedWhole) {
  const std::string body = Pattern(3000, 8);
  DownloadServer server;
  server.Routes().Get("/file", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(body, "application/zip");
  });
  server.Run();
  std::ofstream(Target(), std::ios::binary) << std::string(10000, 'x');
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/file"), Target(), &reports));
  EXPECT_EQ(ReadFileBytes(Target()), body);
  EXPECT_TRUE(reports.Of(ProgressReadFailed).empty());
}

// Mended: an error page used to be saved under the resource's name as a complete download.
TEST_F(HttpFileDownloadTest, ErrorStatusWritesNoFileAndFails) {
  DownloadServer server;
  server.Routes().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content("<html>not found</html>", "text/html");
  });
  server.Routes().Get("/broken", [](const httplib::Request&, httplib::Response& response) {
    response.status = 500;
  });
  server.Run();
  for (const char* route : {"/missing", "/broken"}) {
    SCOPED_TRACE(route);
    Reports reports;
    ASSERT_TRUE(Run(server.Url(route), Target(), &reports));
    EXPECT_FALSE(std::filesystem::exists(Target()));
    ExpectFailedRead(reports, 0);
  }
}

// Mended: a body cut off before its Content-Length used to be reported as finished.
TEST_F(HttpFileDownloadTest, BodyCutShortFails) {
  const std::string body = Pattern(100000, 9);
  DownloadServer server;
  server.Routes().Get("/cut", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        body.size(), "application/zip",
        [&body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
          if (offset > 0) return false;  // the connection drops after the first 30000 bytes
          return sink.write(body.data(), 30000);
        });
  });
  server.Run();
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/cut"), Target(), &reports));
  ExpectFailedRead(reports, 30000);
  EXPECT_EQ(reports.Of(ProgressStarted).size(), 1u);
}

// Mended: failed writes (a full disk) used to leave holes in a file reported as complete.
TEST_F(HttpFileDownloadTest, FailedWriteFails) {
  const std::string body = Pattern(300000, 10);
  DownloadServer server;
  server.Routes().Get("/file", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(body, "application/zip");
  });
  server.Run();
  Reports reports;
  ASSERT_TRUE(Run(server.Url("/file"), "/dev/full", &reports));
  EXPECT_EQ(reports.Of(ProgressReadFailed).size(), 1u);
  auto ended = reports.Of(ProgressEnded);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_LT(ended[0].received, ended[0].total);
}

TEST_F(HttpFileDownloadTest, StopWhileTheServerStallsReturnsWithinItsBounds) {
  for (bool beforeHead : {true, false}) {
    SCOPED_TRACE(beforeHead ? "before the answer" : "mid-body");
    DownloadServer server;
    server.Routes().Get("/stall", [&](const httplib::Request&, httplib::Response& response) {
      if (beforeHead) server.gate.WaitOpen();
      response.set_content_provider(
          100000, "application/zip",
          [&server](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset > 0) {
              server.gate.WaitOpen();
              return false;
            }
            return sink.write(std::string(1000, 'a').data(), 1000);
          });
    });
    server.Run();
    Reports reports;
    auto completion = std::make_shared<Event>();
    {
      HttpFileDownload download;
      download.Start(server.Url("/stall"), Target(), reports.Routine(), 3, completion);
      if (beforeHead) {
        std::this_thread::sleep_for(200ms);
      } else {
        for (int i = 0; i < 1000 && reports.Of(ProgressStarted).empty(); ++i) {
          std::this_thread::sleep_for(5ms);
        }
        ASSERT_EQ(reports.Of(ProgressStarted).size(), 1u);
      }
      auto before = std::chrono::steady_clock::now();
      download.Stop();
      EXPECT_LT(std::chrono::steady_clock::now() - before, 2500ms);
      EXPECT_TRUE(completion->Wait(0));
      download.Stop();  // nothing left to do
    }
    EXPECT_EQ(reports.Of(ProgressEnded).size(), 1u);
    EXPECT_TRUE(reports.Of(ProgressReadFailed).empty());
    server.gate.Release();
  }
}

TEST_F(HttpFileDownloadTest, EmptyAddressOrPathLaunchesNothing) {
  for (auto [address, path] : {std::pair<Text, Text>{"", "x"}, {"http://127.0.0.1:1/", ""}}) {
    Reports reports;
    auto completion = std::make_shared<Event>();
    HttpFileDownload download;
    download.Start(address, path, reports.Routine(), 1, completion);
    EXPECT_TRUE(completion->Wait(0));
    download.Stop();
    EXPECT_EQ(reports.Size(), 0u);
  }
}

}  // namespace
}  // namespace sucaigang
