// One NetworkTime against a loopback time site, beside a bare libcurl HEAD of the same request
// (a fresh easy handle, the same header lines, the Date read with curl_getdate): the ratio is what
// HttpObjectRequest and the date handling add to the exchange itself.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <string>

#include "script/http_object_request.h"
#include "script/network_time.h"
#include "support/test_http_server.h"

namespace sucaigang {
namespace {

class TimeSite {
 public:
  TimeSite() {
    server_.Routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
      response.set_header("Date", "Tue, 21 Jul 2020 12:00:00 GMT");
    });
    // A server that did not start shows as failed exchanges in every benchmark.
    if (!server_.Start()) std::fputs("the loopback server did not start\n", stderr);
  }
  std::string Url() const { return server_.Url("/"); }

 private:
  test::TestHttpServer server_;
};

TimeSite& Site() {
  static TimeSite site;
  return site;
}

void BM_NetworkTime(benchmark::State& state) {
  TransportGlobalInit();
  const std::string url = Site().Url();
  for (auto _ : state) {
    const DateTime time = NetworkTime(url);
    if (time.year != 2020) state.SkipWithError("no date");
    benchmark::DoNotOptimize(time);
  }
}
BENCHMARK(BM_NetworkTime)->Unit(benchmark::kMicrosecond);

std::size_t CollectHeader(char* data, std::size_t size, std::size_t count, void* headers) {
  static_cast<std::string*>(headers)->append(data, size * count);
  return size * count;
}

void BM_BareCurlHead(benchmark::State& state) {
  TransportGlobalInit();
  const std::string url = Site().Url();
  const std::string referer = "Referer: " + url;
  for (auto _ : state) {
    CURL* easy = curl_easy_init();
    curl_slist* lines = nullptr;
    for (const char* line :
         {"Accept: */*", referer.c_str(), "Accept-Language: zh-cn",
          "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", "Expect:"}) {
      lines = curl_slist_append(lines, line);
    }
    std::string headers;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lines);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 15000L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headers);
    if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("exchange failed");
    curl_slist_free_all(lines);
    curl_easy_cleanup(easy);
    const std::size_t date = headers.find("Date:");
    const std::string value = date == std::string::npos
                                  ? ""
                                  : headers.substr(date + 5, headers.find("\r\n", date) - date - 5);
    benchmark::DoNotOptimize(curl_getdate(value.c_str(), nullptr));
  }
}
BENCHMARK(BM_BareCurlHead)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sucaigang
