// The engine fuzz target's deterministic corpus: random inputs of each kind. Nothing may
// read or write outside its buffers or trip a sanitizer.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine_input.h"
#include "engine_test_util.h"

namespace {

TEST(EngineFuzzCorpus, RandomValuesMasksAndDictionariesAreHandledSafely) {
  enginetest::RecordMessages quiet;
  std::mt19937 rng(20261208);
  for (int i = 0; i < 1200; ++i) {
    std::vector<uint8_t> input(1 + rng() % 400);
    for (auto &b : input)
      b = static_cast<uint8_t>(rng());
    // Mostly values, masks and dates, which are quick; one in eight a whole dictionary.
    input[0] = static_cast<uint8_t>(i % 8 == 0 ? 3 : i % 3);
    RunEngineFuzzInput(input.data(), input.size());
  }
}

}  // namespace
