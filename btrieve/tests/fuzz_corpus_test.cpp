// The fuzz target's deterministic corpus: valid buffers, their mutations and random bytes.
// Nothing may crash or trip a sanitizer; every call answers with a status.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "btr_test_util.h"
#include "fuzz_input.h"
#include "fuzz_reader.h"
#include "model_input.h"
#include "record_table_input.h"
#include "zelko_test_env.h"

namespace {

using namespace btrtest;

std::vector<std::vector<uint8_t>> Seeds() {
  std::vector<std::vector<uint8_t>> seeds;
  auto with_kind = [](uint8_t kind, int8_t key, uint8_t extra, std::vector<uint8_t> b) {
    b.insert(b.begin(), {kind, static_cast<uint8_t>(key), extra});
    return b;
  };
  seeds.push_back(with_kind(
      0, 0, 7,
      CreateBuffer(20, 1024,
                   {{{1, 4, B_KEY_EXTENDED_TYPE, B_TYPE_INTEGER}}, {{5, 16, B_KEY_DUPLICATES}}})));
  seeds.push_back(with_kind(0, 0, 1,
                            CreateBuffer(97, 512, {{{1, 2, 0x0104, 14}}, {{3, 20, 0x0502, 0}}}, 0,
                                         {UpperTable()}, false)));
  std::string d = "UC" + Le16(0) + Le16(1) + std::string("\x01\x04\x00\x00\x00\x05\x00", 7) +
                  Le32(3) + Le16(5) + Le16(1) + Le16(4) + Le16(0);
  d = Le16(static_cast<int>(d.size() + 2)) + d;
  std::vector<uint8_t> desc(d.begin(), d.end());
  desc.resize(200);
  seeds.push_back(with_kind(1, 0, 0, desc));
  seeds.push_back(with_kind(2, 0, 0, std::vector<uint8_t>(48)));
  seeds.push_back(with_kind(3, 0, 8, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  auto idx = CreateBuffer(16, 1024, {{{13, 4, B_KEY_DUPLICATES}}});
  seeds.push_back(with_kind(4, 0, 0, std::vector<uint8_t>(idx.begin() + 16, idx.end())));
  return seeds;
}

TEST(FuzzCorpus, MutationsAndRandomInputsGiveOnlyStatuses) {
  std::mt19937 rng(20261206);
  int runs = 0;
  for (const auto &seed : Seeds()) {
    RunBtrieveFuzzInput(seed.data(), seed.size());
    for (int m = 0; m < 300; ++m) {
      std::vector<uint8_t> input = seed;
      int edits = 1 + static_cast<int>(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        if (input.size() < 2) input.push_back(static_cast<uint8_t>(rng()));
        switch (rng() % 4) {
          case 0:
            input[1 + rng() % (input.size() - 1)] = static_cast<uint8_t>(rng());
            break;
          case 1:
            input.resize(1 + rng() % input.size());
            break;
          case 2:
            input.insert(input.begin() + 1 + rng() % (input.size() - 1),
                         static_cast<uint8_t>(rng()));
            break;
          default:
            input[1 + rng() % (input.size() - 1)] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        }
      }
      input[0] = seed[0];
      RunBtrieveFuzzInput(input.data(), input.size());
      ++runs;
    }
  }
  for (int i = 0; i < 500; ++i) {
    std::vector<uint8_t> input(rng() % 300);
    for (auto &b : input)
      b = static_cast<uint8_t>(rng());
    RunBtrieveFuzzInput(input.data(), input.size());
    ++runs;
  }
  EXPECT_EQ(runs, 6 * 300 + 500);
  BTRRELEASE();
}

// Damaged files: every kind of damage alone at several places, then random mixtures. A read
// loop that does not end aborts the run.
TEST(FuzzCorpus, DamagedRecordTablesGiveOnlyStatusesAndWalksEnd) {
  std::mt19937 rng(1312);
  int runs = 0;
  for (uint8_t kind = 0; kind < 9; ++kind) {
    for (uint8_t where : {0, 1, 5, 11, 13}) {
      for (uint8_t arg : {0, 3, 200}) {
        const uint8_t damage[] = {kind, where, arg, static_cast<uint8_t>(arg + where)};
        RunRecordTableFuzzInput(damage, sizeof damage);
        ++runs;
      }
    }
  }
  for (int i = 0; i < 150; ++i) {
    std::vector<uint8_t> input(4 * (1 + rng() % 8));
    for (auto &b : input)
      b = static_cast<uint8_t>(rng());
    RunRecordTableFuzzInput(input.data(), input.size());
    ++runs;
  }
  EXPECT_EQ(runs, 9 * 5 * 3 + 150);
  BTRRELEASE();
}

// Random runs of operations, each checked step by step against a model of the file; a
// difference aborts the run with a description. On the server store too.
TEST(FuzzCorpus, OperationRunsAgreeWithTheModel) {
  // Found by the fuzzer: in a transaction, another process's lock on position 0 (no record)
  // was taken by the model for one on a record this process had locked.
  const uint8_t no_record[] = {0x26, 0xc7, 0xc2, 0xc0, 0x40, 0x3b};
  RunBtrieveModelInputIn(zelko_testing::ScratchDir(), no_record, sizeof no_record);
  std::mt19937 rng(20261208);
  const int runs = OnServer() ? 30 : 200;
  for (int i = 0; i < runs; ++i) {
    std::vector<uint8_t> input = fuzzing::RandomInput(rng, 3000);
    RunBtrieveModelInputIn(zelko_testing::ScratchDir(), input.data(), input.size());
  }
  BTRRELEASE();
}

}  // namespace
