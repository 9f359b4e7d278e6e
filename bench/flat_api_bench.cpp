// Reading 100,000 records of eight fields along a key: every field's text through the flat
// exports (DbAccess Get Next + DbGetFieldData), the same through one whole-record call
// (ZelkoGetRecordText), and the anchor: the same loop through the engine's C++ interface.
// All three run the same engine code in one process and check the count and the total text
// length they read.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/table_access.h"
#include "engine/table_catalog.h"
#include "items_table.h"
#include "scratch_dir.h"
#include "zelkoctl/zelkoapi.h"

namespace {

constexpr int kRecords = 100000;

const std::string &Directory() {
  static std::string dir = [] {
    std::string d = benchdata::MakeScratchDirectory("zelko-flat-bench");
    setenv("ZELKO_CONFIG_DIR", d.c_str(), 1);
    if (benchdata::WriteItemsTable(d, kRecords) != 0) abort();
    return d;
  }();
  return dir;
}

// What a pass read: records and the sum of their texts' lengths, the same for every path.
struct Read {
  long records = 0, bytes = 0;
};

Read &Expected() {
  static Read expected;
  return expected;
}

void Verify(benchmark::State &state, const Read &read) {
  if (read.records != kRecords) state.SkipWithError("wrong record count");
  if (Expected().records == 0) Expected() = read;
  if (read.bytes != Expected().bytes) state.SkipWithError("texts differ from the other path");
}

void BM_EngineGetNext(benchmark::State &state) {
  std::unique_ptr<zelko::TableCatalog> catalog;
  if (zelko::LoadCatalog(Directory(), &catalog) != 0) return state.SkipWithError("catalog");
  zelko::TableDescriptor &table = catalog->tables[0];
  if (zelko::EngineOpen(*catalog, table, Directory(), "", 0) != 0)
    return state.SkipWithError("open");
  Read read;
  for (auto _ : state) {
    read = Read{};
    for (int16_t s = zelko::EngineAccess(table, B_GET_FIRST, 0); s == 0;
         s = zelko::EngineAccess(table, B_GET_NEXT, 0)) {
      ++read.records;
      for (int f = 0; f < benchdata::kItemFields; ++f)
        read.bytes += static_cast<long>(zelko::ReadFieldByNumber(table, f).size());
    }
  }
  zelko::EngineClose(table);
  Verify(state, read);
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_FlatGetNext(benchmark::State &state) {
  if (ZelkoHostDataSource("Bench", "Zelko1", Directory().c_str()) != 0 ||
      DbAttachControl("Zelko1", "Bench") != 0 || DbOpen(0) != 0)
    return state.SkipWithError("hosting");
  Read read;
  for (auto _ : state) {
    read = Read{};
    for (int16_t s = DbAccess(B_GET_FIRST, 0, 0); s == 0; s = DbAccess(B_GET_NEXT, 0, 0)) {
      ++read.records;
      for (int16_t f = 0; f < benchdata::kItemFields; ++f) {
        char *text = DbGetFieldData(0, f);
        read.bytes += SysStringByteLen(text);
        SysFreeString(text);
      }
    }
  }
  ZelkoReleaseDataSource("Bench", "Zelko1");
  Verify(state, read);
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_FlatRecordText(benchmark::State &state) {
  if (ZelkoHostDataSource("Bench", "Zelko1", Directory().c_str()) != 0 ||
      DbAttachControl("Zelko1", "Bench") != 0 || DbOpen(0) != 0)
    return state.SkipWithError("hosting");
  std::vector<char> buffer(4097 * benchdata::kItemFields);
  Read read;
  for (auto _ : state) {
    read = Read{};
    for (int16_t s = DbAccess(B_GET_FIRST, 0, 0); s == 0; s = DbAccess(B_GET_NEXT, 0, 0)) {
      int32_t length = 0;
      if (ZelkoGetRecordText(0, buffer.data(), static_cast<int32_t>(buffer.size()), &length,
                             nullptr) != 0)
        return state.SkipWithError("record text");
      ++read.records;
      read.bytes += length - benchdata::kItemFields;  // without the NUL after each text
    }
  }
  ZelkoReleaseDataSource("Bench", "Zelko1");
  Verify(state, read);
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// Interleaved, so that neither path profits from running after the other.
BENCHMARK(BM_EngineGetNext)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_FlatGetNext)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_FlatRecordText)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
