// One HttpRequest GET against a loopback server, beside a bare libcurl easy GET of the same request
// (a fresh easy handle, the same header lines, the body collected): the ratio is what the engine
// adds to the exchange itself. The transport alone shows where that goes; a last case reads a
// UTF-8 page, so the charset step decodes it.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <string>

#include "http/http_request.h"
#include "http/transport.h"
#include "support/test_http_server.h"

namespace sucaigang {
namespace {

const std::string kAnswer =
    R"({"state":"0","msg":"ok","data":{"url":"http://127.0.0.1/x.zip","name":"x"}})";

std::string Utf8Page() {
  std::string page = "<html><head><meta charset=\"utf-8\"><title>t</title></head><body>";
  while (page.size() < 16 * 1024) page += "\xE7\xB4\xA0\xE6\x9D\x90 text ";  // 素材
  return page + "</body></html>";
}

class PageSite {
 public:
  PageSite() {
    server_.Routes().Get("/api", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(kAnswer, "application/json");
    });
    server_.Routes().Get("/page",
                         [page = Utf8Page()](const httplib::Request&, httplib::Response& response) {
                           response.set_content(page, "text/html");
                         });
    // A server that did not start shows as failed exchanges in every benchmark.
    if (!server_.Start()) std::fputs("the loopback server did not start\n", stderr);
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }

 private:
  test::TestHttpServer server_;
};

PageSite& Site() {
  static PageSite site;
  return site;
}

void BM_HttpRequestGet(benchmark::State& state) {
  TransportGlobalInit();
  const std::string url = Site().Url("/api");
  for (auto _ : state) {
    Text result = HttpRequest(url);
    if (result != kAnswer) state.SkipWithError("wrong answer");
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_HttpRequestGet)->Unit(benchmark::kMicrosecond);

// The transport alone with the same lines: splits the overhead between it and HttpRequest.
void BM_TransportGet(benchmark::State& state) {
  TransportGlobalInit();
  const std::string url = Site().Url("/api");
  for (auto _ : state) {
    TransportResult result = Exchange(
        {.url = url,
         .headerLines =
             {"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
              "Accept: text/html, application/xhtml+xml, */*", "Accept-Encoding: identity",
              "Accept-Language: zh-cn", "Cache-Control: no-cache"},
         .connectTimeoutMs = 30000,
         .stallTimeoutMs = 30000});
    if (result.body != kAnswer) state.SkipWithError("wrong answer");
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_TransportGet)->Unit(benchmark::kMicrosecond);

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

void BM_BareCurlGet(benchmark::State& state) {
  TransportGlobalInit();
  const std::string url = Site().Url("/api");
  for (auto _ : state) {
    CURL* easy = curl_easy_init();
    curl_slist* lines = nullptr;
    for (const char* line :
         {"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
          "Accept: text/html, application/xhtml+xml, */*", "Accept-Encoding: identity",
          "Accept-Language: zh-cn", "Cache-Control: no-cache", "Expect:"}) {
      lines = curl_slist_append(lines, line);
    }
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lines);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 30000L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("exchange failed");
    curl_slist_free_all(lines);
    curl_easy_cleanup(easy);
    if (body != kAnswer) state.SkipWithError("wrong answer");
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BM_BareCurlGet)->Unit(benchmark::kMicrosecond);

void BM_HttpRequestUtf8Page(benchmark::State& state) {
  TransportGlobalInit();
  const std::string url = Site().Url("/page");
  for (auto _ : state) {
    Text result = HttpRequest(url);
    if (result.empty()) state.SkipWithError("no page");
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_HttpRequestUtf8Page)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sucaigang
