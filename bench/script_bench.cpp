// The script objects' share of one flow: a login answer read as the login flow reads it, and
// the request engine's charset search over a page head.
#include <benchmark/benchmark.h>

#include <string>

#include "script/json_document.h"
#include "script/regex_search.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

const std::string kLoginAnswer =
    R"({"code":200,"info":"登陆成功","data":{"password":"5f4dcc3b5aa765d61d8327deb882cf99",)"
    R"("vip":"1","vip_g":"1700000000","Integral":"35","nickname":"素材港用户","points":"12",)"
    R"("email":"user@example.com","regtime":"1600000000"}})";

// Parse a login answer and read its eight fields.
void BM_LoginAnswer(benchmark::State& state) {
  for (auto _ : state) {
    JsonDocument answer;
    answer.Parse(Utf8ToGbk(kLoginAnswer));
    Text code = answer.GetObject("code").ToText();
    Text fields[] = {answer.GetText("info"),          answer.GetText("data.password"),
                     answer.GetText("data.vip"),      answer.GetText("data['vip_g']"),
                     answer.GetText("data.Integral"), answer.GetText("data.nickname"),
                     answer.GetText("data.points")};
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(fields);
  }
}
BENCHMARK(BM_LoginAnswer)->Unit(benchmark::kMicrosecond);

void BM_JsonDocumentParseOnly(benchmark::State& state) {
  const Text text = Utf8ToGbk(kLoginAnswer);
  for (auto _ : state) {
    JsonDocument answer;
    benchmark::DoNotOptimize(answer.Parse(text));
  }
}
BENCHMARK(BM_JsonDocumentParseOnly)->Unit(benchmark::kMicrosecond);

void BM_CharsetSearch(benchmark::State& state) {
  std::string head =
      R"(<!DOCTYPE html><html><head><meta name="viewport" content="width=device-width">)"
      R"(<META http-equiv="Content-Type" content="text/html; charset=UTF-8"><title>x</title>)";
  head.append(4096, ' ');
  for (auto _ : state) {
    RegexSearch search;
    search.Execute(R"(<meta.+?charset=[^\w]?([-\w]+))", head);
    benchmark::DoNotOptimize(search.SubmatchText(1, 1));
  }
}
BENCHMARK(BM_CharsetSearch)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sucaigang
