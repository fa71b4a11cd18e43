// The stand-in service answered by plain HTTP clients, each host in turn.
#include "standin/standin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "text/encoding.h"

namespace sucaigang::standin {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

Fixture TestFixture() {
  Fixture f;
  std::string error;
  EXPECT_TRUE(LoadFixture(std::string(SUCAIGANG_STANDIN_FIXTURES) + "/test.json", f, error))
      << error;
  return f;
}

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    service_ = Service::Start(TestFixture(), {.freePorts = true}, error);
    ASSERT_TRUE(service_) << error;
  }

  std::unique_ptr<httplib::Client> Plain(Host host) {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", service_->Port(host));
    c->set_url_encode(false);  // the tests send their queries exactly as written
    c->set_connection_timeout(5);
    c->set_read_timeout(10);
    return c;
  }

  std::unique_ptr<httplib::SSLClient> Secure(Host host) {
    auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", service_->Port(host));
    c->enable_server_certificate_verification(false);
    c->set_connection_timeout(5);
    c->set_read_timeout(10);
    return c;
  }

  std::string Get(Host host, const std::string& target, int expectStatus = 200) {
    auto c = Plain(host);
    auto res = c->Get(target.c_str());
    EXPECT_TRUE(res) << target;
    if (!res) return {};
    EXPECT_EQ(res->status, expectStatus) << target;
    return res->body;
  }

  std::unique_ptr<Service> service_;
};

TEST(StandinFixture, ShippedFixturesLoadAndBrokenOnesAreRejected) {
  Fixture f;
  std::string error;
  ASSERT_TRUE(LoadFixture(std::string(SUCAIGANG_STANDIN_FIXTURES) + "/demo.json", f, error))
      << error;
  ASSERT_FALSE(f.accounts.empty());
  EXPECT_EQ(f.accounts[0].user, "demo");
  EXPECT_EQ(f.accounts[0].vip, "\"2\"");
  EXPECT_EQ(f.ports.api, 8383);
  EXPECT_EQ(f.ports.web, 8443);
  EXPECT_EQ(f.ports.stock, 8444);
  EXPECT_EQ(f.ports.time, 8380);

  struct Case {
    const char* json;
    const char* reason;
  };
  for (const Case& c : {
           Case{"{", "not JSON"},
           Case{"[]", "a fixture is a JSON object"},
           Case{R"({"accounts":{}})", "must be an array"},
           Case{R"({"accounts":[{"password":"x"}]})", "needs \"user\""},
           Case{R"({"resources":[{"id":"a/b"}]})", "plain name"},
           Case{R"({"resources":[{"id":"1","size":-1}]})", "whole number"},
           Case{R"({"resources":[{"id":"1","file":{"kind":"odd"}}]})", "unknown file kind"},
           Case{R"({"files":[{"path":"x"}]})", "starting with /"},
       }) {
    error.clear();
    EXPECT_FALSE(ParseFixture(c.json, f, error)) << c.json;
    EXPECT_THAT(error, HasSubstr(c.reason)) << c.json;
  }
}

TEST_F(StandinTest, LoginAnswersLikeTheService) {
  struct Case {
    const char* query;
    const char* answer;
  };
  for (const Case& c : {
           Case{"user=plain&pass=pw0",
                R"({"code":200,"info":"登陆成功","data":{"password":"tok-plain","vip":"0",)"
                R"("vip_g":"0","Integral":"10","nickname":"普通用户","points":"1"}})"},
           // Numbers in the fixture stay numbers in the answer.
           Case{"user=gold&pass=pw1",
                R"({"code":200,"info":"登陆成功","data":{"password":"tok-gold","vip":"1",)"
                R"("vip_g":"1700000000","Integral":200,"nickname":"黄金用户","points":12}})"},
           Case{"user=stringcode&pass=pw", R"({"code":"200","info":"登陆成功",)"},
           Case{"user=plain&pass=wrong", R"({"code":401,"info":"密码错误","data":null})"},
           Case{"user=nobody&pass=pw", R"({"code":404,"info":"用户不存在","data":null})"},
           Case{"user=plain", R"({"code":400,"info":"用户名或密码不能为空","data":null})"},
           Case{"user=banned&pass=pw",
                R"({"code":403,"info":"该账号已被禁用，请联系管理员","data":null})"},
           // Percent-encoded values are decoded: 中 in UTF-8, "a&b c" in one piece.
           Case{"user=%E4%B8%AD&pass=a%26b%20c", R"({"code":200,"info":"登陆成功",)"},
           Case{"user=%E4%B8%AD&pass=a&b%20c", R"({"code":401,)"},
           Case{"user=%E4%B8%AD&pass=a%26b+c", R"({"code":200,)"},
       }) {
    std::string body = Get(Host::Api, std::string("/login.php?") + c.query);
    EXPECT_EQ(body.substr(0, std::strlen(c.answer)), c.answer) << c.query;
  }
  // The password as the client types it, in GBK.
  std::string gbkQuery = "/login.php?user=gbkpass&pass=" + PercentEncodeBytes(Utf8ToGbk("密码1"));
  EXPECT_THAT(Get(Host::Api, gbkQuery), HasSubstr(R"("code":200)"));
}

TEST_F(StandinTest, RecordsTheRawQueryAndHeadersOfTheLastRequest) {
  auto c = Plain(Host::Api);
  auto res =
      c->Get("/login.php?user=%E4%B8%AD&pass=a%26b%20c", {{"referer", "https://example.invalid/"}});
  ASSERT_TRUE(res);
  c->Get("/login.php?user=plain&pass=pw0");
  EXPECT_EQ(service_->Hits(Host::Api, "/login.php"), 2);
  EXPECT_EQ(service_->Hits(Host::Api, "/sucai.php"), 0);
  auto last = service_->LastRequest(Host::Api, "/login.php");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->rawQuery, "user=plain&pass=pw0");
  EXPECT_EQ(last->Header("Referer"), "");

  auto first = service_->Requests().at(0);
  EXPECT_EQ(first.method, "GET");
  EXPECT_EQ(first.path, "/login.php");
  EXPECT_EQ(first.rawQuery, "user=%E4%B8%AD&pass=a%26b%20c");
  EXPECT_EQ(first.Param("user"), "中");
  EXPECT_EQ(first.Param("pass"), "a&b c");
  EXPECT_EQ(first.Header("REFERER"), "https://example.invalid/");

  auto log = service_->LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_THAT(log[0],
              HasSubstr("api 127.0.0.1 GET /login.php?user=%E4%B8%AD&pass=a%26b%20c -> 200"));
  service_->ClearRecords();
  EXPECT_EQ(service_->Hits(Host::Api, "/login.php"), 0);
  EXPECT_FALSE(service_->LastRequest(Host::Api, "/login.php"));
}

TEST_F(StandinTest, ParseAnswersNotReadyThenTheDownloadAddress) {
  const std::string auth = "&user=gold&pass=tok-gold";
  std::string notReady = R"({"state":"1","msg":"资源正在准备中"})";
  EXPECT_EQ(Get(Host::Api, "/sucai.php?id=22222222" + auth), notReady);
  EXPECT_EQ(Get(Host::Api, "/sucai.php?id=22222222" + auth), notReady);
  std::string ready = R"({"state":"0","msg":")" + service_->DownloadUrl("22222222") + R"("})";
  EXPECT_EQ(Get(Host::Api, "/sucai.php?id=22222222" + auth), ready);
  EXPECT_EQ(Get(Host::Api, "/sucai.php?id=22222222" + auth), ready);
  EXPECT_EQ(service_->DownloadUrl("22222222"), service_->FilesBase() + "/down/22222222.zip");

  // SetResource starts the count again.
  Resource r;
  r.id = "22222222";
  r.notReady = 1;
  service_->SetResource(r);
  EXPECT_THAT(Get(Host::Api, "/sucai.php?id=22222222" + auth), HasSubstr(R"("state":"1")"));

  struct Case {
    std::string query;
    std::string answer;
  };
  for (const Case& c : {
           Case{"id=55555555" + auth, R"({"state":0,"msg":")" + service_->DownloadUrl("55555555")},
           Case{"id=33333333" + auth, R"({"state":"2","msg":"您的金币不足"})"},
           Case{"id=99999999" + auth,
                R"({"state":"2","msg":"未找到该素材，请检查素材地址是否正确"})"},
           Case{"id=" + auth, R"({"state":"2","msg":"未找到该素材)"},
           // The login password is no parse password: only the token counts.
           Case{"id=11111111&user=gold&pass=pw1",
                R"({"state":"3","msg":"登陆信息已失效，请重新登陆"})"},
           Case{"id=11111111&user=banned&pass=pw", R"({"state":"3",)"},
           Case{"id=11111111&user=%E4%B8%AD&pass=tok-zhong", R"({"state":"0",)"},
       }) {
    std::string body = Get(Host::Api, "/sucai.php?" + c.query);
    EXPECT_EQ(body.substr(0, c.answer.size()), c.answer) << c.query;
  }
}

TEST_F(StandinTest, VersionAnswerFromTheFixture) {
  EXPECT_EQ(Get(Host::Api, "/version.php?t=1700000000"),
            R"({"state":"0","version":"20230202","versionURL":")" + service_->FilesBase() +
                R"(/update/new.exe","msg":"新版本公告"})");
  EXPECT_EQ(service_->LastRequest(Host::Api, "/version.php")->Param("t"), "1700000000");

  service_->SetVersion({.state = "1", .version = "", .versionUrl = "", .msg = ""});
  EXPECT_EQ(Get(Host::Api, "/version.php?t=1"), R"({"state":1})");
  service_->SetVersion({.raw = "<html>502 Bad Gateway</html>"});
  EXPECT_EQ(Get(Host::Api, "/version.php?t=1"), "<html>502 Bad Gateway</html>");

  // The update file the answer points at is there.
  auto c = Plain(Host::Files);
  auto res = c->Get("/update/new.exe");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, FileBytes("new.exe", 0, 4096));
}

TEST_F(StandinTest, TimeSiteAnswersHeadWithTheDate) {
  auto c = Plain(Host::Time);
  std::time_t before = std::time(nullptr);
  auto res = c->Head("/");
  std::time_t after = std::time(nullptr);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_TRUE(res->body.empty());
  std::string date = res->get_header_value("Date");
  EXPECT_EQ(date.size(), 29u) << date;
  EXPECT_THAT(date, ::testing::EndsWith(" GMT"));
  bool within = false;
  for (std::time_t t = before; t <= after; ++t) within = within || date == HttpDate(t);
  EXPECT_TRUE(within) << date;

  service_->SetFixedDate("Tue, 21 Jul 2020 12:00:00 GMT");
  res = c->Head("/");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Date"), "Tue, 21 Jul 2020 12:00:00 GMT");
  EXPECT_EQ(HttpDate(1595332800), "Tue, 21 Jul 2020 12:00:00 GMT");
  EXPECT_EQ(service_->Hits(Host::Time, "/"), 2);
}

TEST_F(StandinTest, WebHostPages) {
  auto c = Secure(Host::Web);
  auto news = c->Get("/gg/index.html");
  ASSERT_TRUE(news) << httplib::to_string(news.error());
  EXPECT_EQ(news->status, 200);
  // GBK, declared in a meta tag within the first 1024 bytes.
  std::string head = news->body.substr(0, 1024);
  EXPECT_THAT(head,
              HasSubstr("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\""));
  EXPECT_THAT(news->body, HasSubstr(Utf8ToGbk("网站公告")));
  EXPECT_THAT(news->body, Not(HasSubstr("网站公告")));

  auto home = c->Get("/");
  ASSERT_TRUE(home);
  EXPECT_THAT(home->body, HasSubstr("素材港解析"));
  auto user = c->Get("/?user&index");
  ASSERT_TRUE(user);
  EXPECT_THAT(user->body, HasSubstr("个人中心"));
  EXPECT_EQ(service_->LastRequest(Host::Web, "/")->rawQuery, "user&index");
  auto missing = c->Get("/nothing.html");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(service_->WebHome(),
            "https://127.0.0.1:" + std::to_string(service_->Port(Host::Web)) + "/");
}

TEST_F(StandinTest, StockPagesCarryTheIdentifierOrRefuse) {
  auto c = Secure(Host::Stock);
  auto IdOf = [](const std::string& page) {
    const std::string marker = "pic_id\" value=\"";
    auto at = page.find(marker);
    if (at == std::string::npos) return std::string("<none>");
    at += marker.size();
    return page.substr(at, page.find('"', at) - at);
  };
  auto page = c->Get("/sucai/11111111.html",
                     {{"User-Agent", "Mozilla/5.0"}, {"Referer", service_->StockHome()}});
  ASSERT_TRUE(page) << httplib::to_string(page.error());
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(IdOf(page->body), "11111111");
  // A related resource further down carries the marker too; the first one is the page's own.
  EXPECT_THAT(page->body, HasSubstr("name=\"pic_id\" value=\"22222222\""));
  EXPECT_THAT(page->body, Not(HasSubstr("过于频繁")));
  EXPECT_THAT(page->body.substr(0, 1024), HasSubstr("<meta charset=\"utf-8\">"));
  EXPECT_EQ(service_->LastRequest(Host::Stock, "/sucai/11111111.html")->Header("referer"),
            service_->StockHome());

  auto busy = c->Get("/sucai/44444444.html");
  ASSERT_TRUE(busy);
  EXPECT_EQ(IdOf(busy->body), "<none>");
  EXPECT_THAT(busy->body, HasSubstr("过于频繁"));

  auto empty = c->Get("/sucai/66666666.html");
  ASSERT_TRUE(empty);
  EXPECT_EQ(IdOf(empty->body), "");

  auto missing = c->Get("/sucai/12345678.html");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(IdOf(missing->body), "<none>");

  EXPECT_EQ(service_->StockPageUrl("11111111"), service_->StockHome() + "sucai/11111111.html");
}

TEST_F(StandinTest, ResourceFilesAndTheirFaults) {
  auto c = Plain(Host::Files);
  // The download engine always asks for the range from byte 0.
  auto res = c->Get("/down/11111111.zip", {{"Range", "bytes=0-"}});
  ASSERT_TRUE(res);
  EXPECT_TRUE(res->status == 200 || res->status == 206) << res->status;
  EXPECT_EQ(res->get_header_value("Content-Length"), "100000");
  EXPECT_EQ(res->body, FileBytes("11111111.zip", 0, 100000));
  EXPECT_NE(FileBytes("11111111.zip", 0, 300), FileBytes("11111111.zip", 1, 300));

  res = c->Get("/down/70000001.zip");
  ASSERT_TRUE(res);
  EXPECT_FALSE(res->has_header("Content-Length"));
  EXPECT_EQ(res->body, FileBytes("70000001.zip", 0, 200000));

  res = c->Get("/down/70000002.zip");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);

  // The cut file promises its whole length and stops after 70000 bytes.
  std::string received;
  std::string length;
  auto cut = Plain(Host::Files)
                 ->Get(
                     "/down/70000003.zip",
                     [&](const httplib::Response& r) {
                       length = r.get_header_value("Content-Length");
                       return true;
                     },
                     [&](const char* data, size_t size) {
                       received.append(data, size);
                       return true;
                     });
  EXPECT_FALSE(cut);
  EXPECT_EQ(length, "300000");
  EXPECT_EQ(received, FileBytes("70000003.zip", 0, 70000));

  res = c->Get("/down/99999999.zip");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
}

// Stop() must not wait for a slow body to finish: the body is cut short.
TEST_F(StandinTest, StopsWhileASlowBodyIsInFlight) {
  std::atomic<std::size_t> received{0};
  std::thread client([&] {
    auto c = Plain(Host::Files);
    c->Get("/down/70000004.zip", [&](const char*, size_t size) {
      received += size;
      return true;
    });
  });
  for (int i = 0; i < 500 && received == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(received.load(), 0u);
  service_->Stop();
  client.join();
  EXPECT_LT(received.load(), 1000000u);
  service_->Stop();  // a second Stop is harmless
}

TEST_F(StandinTest, FixedPortInUseIsReported) {
  Fixture f;
  f.ports.api = service_->Port(Host::Api);
  std::string error;
  auto second = Service::Start(f, Options{}, error);
  EXPECT_FALSE(second);
  EXPECT_THAT(error, HasSubstr("api: cannot listen on 127.0.0.1:" + std::to_string(f.ports.api)));
}

}  // namespace
}  // namespace sucaigang::standin
