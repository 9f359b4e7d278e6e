// The zelko program's load and dump of 100,000 records of eight fields (strings with
// Japanese text, integers, a date, a decimal), in-process; rates in records per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "commands.h"
#include "items_table.h"
#include "scratch_dir.h"

namespace {

constexpr int kRecords = 100000;

const std::string &Directory() {
  static std::string dir = [] {
    std::string d = benchdata::MakeScratchDirectory("zelko-cli-bench");
    setenv("ZELKO_CONFIG_DIR", d.c_str(), 1);
    dictio::BuildDictionary(d, {benchdata::ItemsTableSpec()});
    std::string csv = "ID,NAME,KANA,QTY,PRICE,SOLD,CODE,FLAG\r\n";
    for (int i = 0; i < kRecords; ++i) {
      csv += std::to_string(i + 1) + ",商品 " + std::to_string(i * 7919 % kRecords) +
             ",ショウヒン," + std::to_string(i % 1000) + "," + std::to_string(i % 50000) +
             ".25,2024/" + std::to_string(i % 12 + 1) + "/" + std::to_string(i % 28 + 1) + ",C" +
             std::to_string(i % 997) + "," + std::to_string(i % 2) + "\r\n";
    }
    std::ofstream(d + "/items.csv", std::ios::binary) << csv;
    return d;
  }();
  return dir;
}

int Zelko(const std::vector<std::string> &args, std::ostream &out) {
  std::ostringstream err;
  return zelkocli::RunZelko(args, {out, err});
}

void BM_Load(benchmark::State &state) {
  const std::string &dir = Directory();
  for (auto _ : state) {
    state.PauseTiming();
    std::ostringstream out;
    Zelko({"create", dir, "ITEMS", "--replace"}, out);
    state.ResumeTiming();
    if (Zelko({"load", dir, "ITEMS", dir + "/items.csv"}, out) != 0)
      state.SkipWithError("load failed");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Dump(benchmark::State &state) {
  const std::string &dir = Directory();
  std::ostringstream setup;
  Zelko({"create", dir, "ITEMS", "--replace"}, setup);
  Zelko({"load", dir, "ITEMS", dir + "/items.csv"}, setup);
  const std::string format = state.range(0) == 0 ? "csv" : "jsonl";
  const bool by_key = state.range(1) != 0;
  for (auto _ : state) {
    std::ostringstream out;
    std::vector<std::string> args = {"dump", dir, "ITEMS", "--format", format};
    if (by_key) args.insert(args.end(), {"--key", "1"});
    if (Zelko(args, out) != 0) state.SkipWithError("dump failed");
    benchmark::DoNotOptimize(out.str().size());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Dump)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
