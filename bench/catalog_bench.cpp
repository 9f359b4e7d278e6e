// Catalog loading: a dictionary of 1,000 tables and 20,000 fields loaded fully and lazily,
// and the first open of a table in lazy mode (its resolution). The hand-written twin reads
// the same three files with plain Get Next loops and no catalog.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "dictio/dictio.h"
#include "dictionary_builder.h"
#include "engine/table_catalog.h"

namespace {

const std::string &BigDictionary() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/zelko-catalog-bench-XXXXXX";
    std::string d = mkdtemp(tmpl);
    std::vector<dictio::TableSpec> tables;
    for (int t = 0; t < 1000; ++t) {
      dictio::TableSpec spec{4 + t, "TABLE" + std::to_string(t), "t" + std::to_string(t), {}, {},
                             {}};
      for (int f = 0; f < 20; ++f)
        spec.fields.push_back({"FIELD" + std::to_string(f), f % 2 ? 0 : 1, 4, 0});
      spec.segments.push_back({"FIELD0", 0, 0, 0x100});
      tables.push_back(std::move(spec));
    }
    dictio::BuildDictionary(d, tables);
    return d;
  }();
  return dir;
}

void BM_LoadFull(benchmark::State &state) {
  const std::string &dir = BigDictionary();
  for (auto _ : state) {
    std::unique_ptr<zelko::TableCatalog> c;
    if (zelko::LoadCatalog(dir, false, &c) != 0 || c->TableCount() != 1000)
      state.SkipWithError("load");
  }
}
BENCHMARK(BM_LoadFull)->Unit(benchmark::kMillisecond);

void BM_ReadAllRecords_Twin(benchmark::State &state) {
  const std::string &dir = BigDictionary();
  for (auto _ : state) {
    DDFOpen(dir.c_str(), 0);
    DdfFileRecord t;
    DdfFieldRecord f;
    DdfIndexRecord i;
    int n = 0;
    while (DDFReadFile(&t) == 0)
      ++n;
    while (DDFReadField(&f) == 0)
      ++n;
    while (DDFReadIndex(&i) == 0)
      ++n;
    DDFClose();
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_ReadAllRecords_Twin)->Unit(benchmark::kMillisecond);

void BM_LoadLazy(benchmark::State &state) {
  const std::string &dir = BigDictionary();
  for (auto _ : state) {
    std::unique_ptr<zelko::TableCatalog> c;
    if (zelko::LoadCatalog(dir, true, &c) != 0 || c->TableCount() != 1000)
      state.SkipWithError("load");
  }
}
BENCHMARK(BM_LoadLazy)->Unit(benchmark::kMillisecond);

// The first open of a table in lazy mode resolves its fields and segments: a table in the
// middle of the dictionary.
void BM_FirstOpenLazy(benchmark::State &state) {
  const std::string &dir = BigDictionary();
  std::unique_ptr<zelko::TableCatalog> c;
  zelko::LoadCatalog(dir, true, &c);
  for (auto _ : state) {
    zelko::TableDescriptor &t = c->tables[500];
    t.fields.clear();
    if (zelko::ResolveTable(*c, t) != 0 || t.FieldCount() != 20) state.SkipWithError("resolve");
  }
}
BENCHMARK(BM_FirstOpenLazy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
