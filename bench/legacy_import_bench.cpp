// Importing a genuine-layout Btrieve file of 100,000 records of 100 bytes (made by the tests'
// writer of the old layout, a unique integer key and a string key with duplicates): reading
// it whole, and the whole import with its verification as btrimport makes it. Each run checks
// the records written.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "legacy_file.h"
#include "legacy_import.h"
#include "legacy_writer.h"
#include "scratch_dir.h"

namespace {

constexpr int kRecords = 100000;

const std::string &Source() {
  static const std::string bytes = [] {
    std::vector<std::string> records;
    for (int i = 0; i < kRecords; ++i) {
      std::string record(100, ' ');
      uint32_t id = static_cast<uint32_t>(i + 1);
      std::memcpy(record.data(), &id, 4);
      std::string name = "name" + std::to_string(i % 1000);
      record.replace(4, name.size(), name);
      records.push_back(record);
    }
    return legacytest::WriteOldLayout(4096, 100, {{{1, 4, 0x100, 14}}, {{5, 20, 0x101, 0}}},
                                      records);
  }();
  return bytes;
}

void BM_ReadGenuineLayout100000(benchmark::State &state) {
  for (auto _ : state) {
    btr::legacy::LegacyFile file;
    std::string why;
    if (!btr::legacy::ReadLegacyFile(Source(), &file, &why) || file.records.size() != kRecords)
      state.SkipWithError(why.c_str());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ReadGenuineLayout100000)->Unit(benchmark::kMillisecond);

// As btrimport imports: the records walked from the source as they are written.
void BM_ImportGenuineLayout100000(benchmark::State &state) {
  std::string dir = benchdata::MakeScratchDirectory("zelko-import");
  int n = 0;
  for (auto _ : state) {
    btr::legacy::LegacyFile header;
    std::string why;
    btr::legacy::ReadLegacyFile(Source(), &header, &why, false);
    std::string dest = dir + "/imported" + std::to_string(n++) + ".btr";
    btr::legacy::ImportReport report;
    if (btr::legacy::ImportLegacyFile(header, Source(), dest, nullptr, &report, &why) != 0 ||
        report.records_written != kRecords)
      state.SkipWithError(why.c_str());
    state.PauseTiming();
    ::unlink(dest.c_str());
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ImportGenuineLayout100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
